// kest: export any video as a KEST movie the way the editor does, and look
// inside KEST movies.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "code_page.h"
#include "command_line.h"
#include "commands.h"
#include "ffmpeg_log.h"
#include "plugin/plugin_table.h"
#include "tool_error.h"

namespace {

std::string LibraryVersion(const char* name, unsigned version) {
    return std::string(name) + " " + std::to_string(AV_VERSION_MAJOR(version)) + "." +
           std::to_string(AV_VERSION_MINOR(version)) + "." + std::to_string(AV_VERSION_MICRO(version));
}

// The export is the plug-in's own, so its version is the plug-in's.
std::string VersionText() {
    const kest::OutputPluginTable* table = GetOutputPluginTable();
    return "kest: " + kest::tool::Cp932ToUtf8Lossy(table->information) + "\nFFmpeg libraries: " +
           LibraryVersion("libavformat", avformat_version()) + ", " + LibraryVersion("libavcodec", avcodec_version()) +
           ", " + LibraryVersion("libavutil", avutil_version()) + ", " + LibraryVersion("libswscale", swscale_version()) +
           ", " + LibraryVersion("libswresample", swresample_version());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kest::tool;
    RouteFfmpegLog();
    CLI::App app("Exports video as KEST movies and inspects them.", "kest");
    app.require_subcommand(1);
    app.set_version_flag("--version", VersionText, "print kest's version and the FFmpeg libraries' and exit");
    AddExportCommand(app);
    AddInfoCommand(app);
    AddExtractCommand(app);
    AddSettingsCommand(app);
    AddCompareCommand(app);
    app.add_subcommand("help", "show a command's options: kest help COMMAND is kest COMMAND --help");
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        args = ExpandHelpCommand(args);
        CheckCommandNames(app, args);
        // CLI11 takes the arguments last to first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "kest: %s (kest --help lists the commands and options)\n", e.what());
        return kExitUsage;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "kest: %s\n", e.what());
        return e.status;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "kest: not enough memory for this command; free some memory or export a smaller picture "
                     "(--size) or a shorter range (--duration)\n");
        return kExitFailure;
    } catch (const std::exception&) {
        // A library's own text would mean nothing to the user.
        std::fprintf(stderr, "kest: an unexpected error stopped the command; please report it with the command line\n");
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
