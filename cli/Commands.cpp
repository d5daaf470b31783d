#include "cli/Commands.h"

#include <cstdio>

#include "platform/FileFault.h"
#include "platform/StringTable.h"

namespace tamboro::cli {
namespace {

// "Errore di scrittura file. Assicurarsi di avere abbastanza spazio..."
constexpr unsigned kWriteFailedText = 1006;

}  // namespace

int RunInfo(const std::vector<std::string>& args);     // InfoCommand.cpp
int RunConvert(const std::vector<std::string>& args);  // ConvertCommand.cpp
int RunDevices(const std::vector<std::string>& args);  // DevicesCommand.cpp
int RunPlay(const std::vector<std::string>& args);     // PlayCommand.cpp
int RunPrepare(const std::vector<std::string>& args);  // SongCommands.cpp
int RunRender(const std::vector<std::string>& args);
int RunMakeSong(const std::vector<std::string>& args);
int RunPerform(const std::vector<std::string>& args);  // PerformCommand.cpp

std::span<const Command> Commands() {
    // Filled as commands arrive.
    static const std::vector<Command> commands = {
        {"info", "show the format and texts of a sound file", &RunInfo},
        {"convert", "write a sound file in another format or type", &RunConvert},
        {"devices", "list the sound output devices with their indexes", &RunDevices},
        {"play", "play a sound file: FILE [--loop] [--device N] [--rate --bits --channels]",
         &RunPlay},
        {"prepare", "convert and fit a loop as a channel does: IN OUT --tempo BPM", &RunPrepare},
        {"render", "render a song's recorded mix: SONG OUT.wav", &RunRender},
        {"make-song", "write a song file from loops and a mix: OUT.tbo --tempo BPM ...",
         &RunMakeSong},
        {"perform",
         "play a song live following a script: SONG SCRIPT [--record OUT.tbo] "
         "[--capture OUT.wav] [--device N] [--rate --bits --channels]",
         &RunPerform},
    };
    return commands;
}

int Fail(const std::string& text, int code, const std::string& detail) {
    if (detail.empty()) {
        std::fprintf(stderr, "tamboro-cli: %s (code %d)\n", text.c_str(), code);
    } else {
        std::fprintf(stderr, "tamboro-cli: %s (code %d): %s\n", text.c_str(), code, detail.c_str());
    }
    return kExitFailed;
}

namespace {

// What the system said about the failed file, else the path given.
std::string Detail(const std::string& given) {
    return platform::LastFileFault().Any() ? platform::FileFaultText() : given;
}

}  // namespace

int Fail(audio::SoundResult result, const std::string& path) {
    const std::string detail = Detail(path);
    const int code = audio::ToInt(result);
    // The load table has no text of its own for a failed write.
    const std::string text = result == audio::SoundResult::WriteFailed
                                 ? platform::LoadString(kWriteFailedText)
                                 : audio::ErrorTextB(code);
    return Fail(text, code, detail);
}

int Fail(engine::SongResult result, const std::string& path) {
    return Fail(engine::SongResultMessage(engine::ToInt(result)), engine::ToInt(result),
                Detail(path));
}

int UsageError(const std::string& text, const char* usage) {
    std::fprintf(stderr, "tamboro-cli: %s\nusage: %s\n", text.c_str(), usage);
    return kExitUsage;
}

}  // namespace tamboro::cli
