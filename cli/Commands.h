#pragma once
// The commands of tamboro-cli. Each command file adds itself to the table
// in Commands.cpp.
#include <span>
#include <string>
#include <vector>

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

// Prints "tamboro-cli: <text> (code N)" to stderr and returns kExitFailed.
int Fail(const std::string& text, int code);
// Prints "tamboro-cli: <text>" and the command's usage to stderr; returns
// kExitUsage.
int UsageError(const std::string& text, const char* usage);

}  // namespace tamboro::cli
