// The native build of the exporter runs the export cases in memory; its files
// are what the Windows module must write byte for byte. `timed FOLDER` runs
// the timed case into FOLDER/timed.KTD and prints its frames a second.
#include <cstdio>
#include <string>

#include "editor_host.h"
#include "plugin/plugin_table.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "timed") {
        const std::string path = std::string(argv[2]) + "/timed.KTD";
        const kest::wine::TimedRun timed = kest::wine::RunTimedCase(*GetOutputPluginTable(), path);
        if (timed.run.returned != 1) {
            std::fprintf(stderr, "%s: the timed export to %s failed\n", argv[0], path.c_str());
            return 1;
        }
        std::printf("TIMED %s\n", kest::wine::TimedSummary(kest::wine::TimedCase(), timed.seconds).c_str());
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: %s OUTPUT_FOLDER (an existing folder for the case files), or %s timed FOLDER\n",
                     argv[0], argv[0]);
        return 2;
    }
    const int failures = kest::wine::RunAllCases(*GetOutputPluginTable(), argv[1]);
    if (failures) {
        std::fprintf(stderr, "%s: %d case files could not be written to %s\n", argv[0], failures, argv[1]);
        return 1;
    }
    return 0;
}
