#pragma once
// The commands of tamboro-cli. Each command file adds itself to the table
// in Commands.cpp.
#include <span>
#include <string>
#include <vector>

#include "audio/wave/SoundResult.h"
#include "engine/SongTypes.h"

namespace tamboro::cli {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

std::span<const Command> Commands();

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Song files given to info and play.
int RunSongInfo(const std::string& path);
int RunPlaySong(const std::vector<std::string>& args);

// Prints "tamboro-cli: <text> (code N)" to stderr, followed by ": <detail>"
// when there is one (the path and the system's reason), and returns
// kExitFailed.
int Fail(const std::string& text, int code, const std::string& detail = {});
// The same with the message of a sound-file result (a failed write says so
// rather than "unknown error"). The detail is the thread's last file fault
// ("path: reason", see platform/FileFault.h) when one was recorded, else
// `path`: commands clear the fault before each file operation.
int Fail(audio::SoundResult result, const std::string& path = {});
// The same with the message of a song result.
int Fail(engine::SongResult result, const std::string& path = {});
// Prints "tamboro-cli: <text>" and the command's usage to stderr; returns
// kExitUsage.
int UsageError(const std::string& text, const char* usage);

}  // namespace tamboro::cli
