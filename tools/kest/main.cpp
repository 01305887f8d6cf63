// kest: export any video as a KEST movie the way the editor does, and look
// inside KEST movies.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/log.h>
}

#include "commands.h"
#include "tool_error.h"

int main(int argc, char** argv) {
    using namespace kest::tool;
    // FFmpeg speaks only when something goes wrong.
    av_log_set_level(AV_LOG_ERROR);
    CLI::App app("Exports video as KEST movies and inspects them.", "kest");
    app.require_subcommand(1);
    AddExportCommand(app);
    AddInfoCommand(app);
    AddExtractCommand(app);
    AddSettingsCommand(app);
    AddCompareCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "kest: %s\nRun 'kest --help' for usage.\n", e.what());
        return kExitUsage;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "kest: %s\n", e.what());
        return e.status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kest: %s\n", e.what());
        return kExitFailure;
    }
    // A report that did not reach its reader is a failure, not a success.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::fprintf(stderr, "kest: cannot write to standard output%s%s\n", error ? ": " : "", error ? std::strerror(error) : "");
        return kExitFailure;
    }
    return 0;
}
