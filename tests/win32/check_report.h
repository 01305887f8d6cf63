// One line per check, then the verdict the test scripts look for: a Windows
// loader that cannot run the program at all may still exit 0, so only the
// final "RESULT PASS" line counts as success.
#pragma once

#include <cstdio>
#include <string>

namespace kest::wine {

class Report {
public:
    bool Check(bool ok, const std::string& name, const std::string& detail = {}) {
        if (ok) {
            std::printf("PASS %s\n", name.c_str());
        } else {
            ++failures_;
            std::printf("FAIL %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        }
        std::fflush(stdout);
        return ok;
    }
    int Failures() const { return failures_; }
    // Prints the verdict and gives the process's exit code.
    int Finish() const {
        std::printf("RESULT %s\n", failures_ == 0 ? "PASS" : "FAIL");
        std::fflush(stdout);
        return failures_ == 0 ? 0 : 1;
    }

private:
    int failures_ = 0;
};

}  // namespace kest::wine
