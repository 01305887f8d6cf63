#include "command_line.h"

#include <algorithm>

#include "tool_error.h"

namespace kest::tool {

std::vector<std::string> ExpandHelpCommand(std::vector<std::string> args) {
    if (args.empty() || args[0] != "help") return args;
    args.erase(args.begin());
    args.push_back("--help");
    return args;
}

namespace {

// "export, info, extract, settings": the commands a user can give here.
std::string CommandNames(CLI::App& level) {
    std::string names;
    for (const CLI::App* s : level.get_subcommands([](const CLI::App*) { return true; }))
        if (s->get_name() != "help") names += (names.empty() ? "" : ", ") + s->get_name();
    return names;
}

}  // namespace

void CheckCommandNames(CLI::App& app, const std::vector<std::string>& args) {
    CLI::App* level = &app;
    std::string path = "kest";
    for (const std::string& arg : args) {
        if (arg.empty() || arg[0] == '-') return;  // options: CLI11 judges them
        std::vector<CLI::App*> subcommands = level->get_subcommands([](const CLI::App*) { return true; });
        if (subcommands.empty()) return;
        const auto named = std::find_if(subcommands.begin(), subcommands.end(),
                                        [&](const CLI::App* s) { return s->get_name() == arg; });
        if (named != subcommands.end()) {
            level = *named;
            path += " " + arg;
            continue;
        }
        if (level->get_require_subcommand_min() == 0) return;  // a positional argument
        std::string nearest;
        std::size_t best = 3;  // more edits than this is no longer a typing slip
        for (const CLI::App* s : subcommands) {
            if (s->get_name() == "help") continue;
            const std::size_t d = EditDistance(arg, s->get_name());
            if (d < best) best = d, nearest = s->get_name();
        }
        const std::string what = level == &app ? "command" : "'" + path + "' command";
        throw UsageError("unknown " + what + " '" + arg + "'; " +
                         (nearest.empty() ? "the commands are " + CommandNames(*level)
                                          : "did you mean '" + nearest + "'?"));
    }
    if (level->get_require_subcommand_min() > 0)
        throw UsageError("'" + path + "' needs a command: " + CommandNames(*level) + " (" + path +
                         " --help tells more)");
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
    // Optimal string alignment distance.
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace kest::tool
