// tamboro-cli: loads, converts, plays and renders sound files and songs from
// the command line.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "platform/FileFault.h"
#include "platform/StringTable.h"

namespace {

// "Errore sconosciuto. La corrente operazione verrà terminata."
constexpr unsigned kUnknownErrorText = 1000;

int UnknownFailure(const char* what) {
    const std::string& text = tamboro::platform::LoadString(kUnknownErrorText);
    if (what != nullptr) {
        std::fprintf(stderr, "tamboro-cli: %s: %s\n", text.c_str(), what);
    } else {
        std::fprintf(stderr, "tamboro-cli: %s\n", text.c_str());
    }
    return tamboro::cli::kExitFailed;
}

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
        if (first != command.name) continue;
        tamboro::platform::ClearFileFault();
        // Nothing escapes: whatever a library throws ends as a message and
        // a failed exit, like every other failure.
        try {
            return command.run(std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const std::bad_alloc&) {
            return tamboro::cli::Fail(tamboro::audio::SoundResult::OutOfMemory);
        } catch (const std::exception& e) {
            return UnknownFailure(e.what());
        } catch (...) {
            return UnknownFailure(nullptr);
        }
    }
    std::fprintf(stderr, "tamboro-cli: unknown command '%s'\n", first.c_str());
    PrintUsage(stderr);
    return 2;
}
