// tamboro-cli: loads, converts, plays and renders sound files and songs from
// the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "platform/StringTable.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: tamboro-cli COMMAND [ARGS...]\n"
                 "\n"
                 "Commands:\n"
                 "  --help       show this text\n"
                 "  --version    show the program's version\n");
    for (const auto& command : tamboro::cli::Commands()) {
        std::fprintf(out, "  %-12s %s\n", command.name, command.summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Messages in English when the locale or `--lang en` asks for it.
    if (!tamboro::platform::ApplyLanguageOption(args)) {
        std::fprintf(stderr, "tamboro-cli: --lang takes en or it\n");
        return 2;
    }
    if (args.empty()) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string& first = args.front();
    if (first == "--help" || first == "-h" || first == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("tamboro-cli %s\n", TAMBORO_VERSION);
        return 0;
    }
    for (const auto& command : tamboro::cli::Commands()) {
        if (first == command.name) {
            return command.run(std::vector<std::string>(args.begin() + 1, args.end()));
        }
    }
    std::fprintf(stderr, "tamboro-cli: unknown command '%s'\n", first.c_str());
    PrintUsage(stderr);
    return 2;
}
