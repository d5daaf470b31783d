#include "app/core/AutosaveFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>

#include "platform/OutputFile.h"

namespace tamboro::app {
namespace {

constexpr std::string_view kSection = "[AUTOSAVE]";
constexpr std::string_view kPathKey = "PATH=";
constexpr std::size_t kInfoLimit = 64 * 1024;  // a path is far shorter

bool Absolute(const char* p) {
    return p != nullptr && p[0] == '/';
}

// mkdir -p with the user's private mode for what it creates.
int MakeFolders(const std::string& folder) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

}  // namespace

AutosaveFiles AutosaveFilesIn(const std::string& folder) {
    return {folder, folder + "/autosave.tbo", folder + "/autosave.ini"};
}

AutosaveFiles DefaultAutosaveFiles() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (Absolute(state)) return AutosaveFilesIn(std::string(state) + "/tamboro");
    const char* home = std::getenv("HOME");
    if (Absolute(home)) return AutosaveFilesIn(std::string(home) + "/.local/state/tamboro");
    return {};
}

int AutosaveInterval(const char* environmentValue) {
    if (environmentValue == nullptr) return kAutosaveSeconds;
    const std::string_view text(environmentValue);
    int seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || seconds < 1 || seconds > 86400)
        return kAutosaveSeconds;
    return seconds;
}

std::string FormatAutosaveInfo(std::string_view originalPath) {
    std::string text(kSection);
    text += '\n';
    text += kPathKey;
    for (const char c : originalPath) {
        switch (c) {
            case '\\':
                text += "\\\\";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\r':
                text += "\\r";
                break;
            default:
                text += c;
        }
    }
    text += '\n';
    return text;
}

std::optional<std::string> ParseAutosaveInfo(std::string_view text) {
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '[') {
            inSection = line == kSection;
            continue;
        }
        if (!inSection || line.substr(0, kPathKey.size()) != kPathKey) continue;
        std::string path;
        for (std::size_t i = kPathKey.size(); i < line.size(); ++i) {
            if (line[i] == '\0') return std::nullopt;
            if (line[i] != '\\') {
                path += line[i];
                continue;
            }
            if (++i == line.size()) return std::nullopt;
            switch (line[i]) {
                case '\\':
                    path += '\\';
                    break;
                case 'n':
                    path += '\n';
                    break;
                case 'r':
                    path += '\r';
                    break;
                default:
                    return std::nullopt;
            }
        }
        return path;
    }
    return std::nullopt;
}

int WriteAutosaveInfo(const AutosaveFiles& files, std::string_view originalPath) {
    if (files.folder.empty()) return ENOENT;
    if (const int e = MakeFolders(files.folder); e != 0) return e;
    const std::string text = FormatAutosaveInfo(originalPath);
    platform::OutputFile out;
    if (const int e = out.Open(files.info, false); e != 0) return e;
    if (const int e = out.Write(text.data(), text.size()); e != 0) return e;
    return out.Commit();
}

bool AutosaveExists(const AutosaveFiles& files) {
    struct stat st {};
    return !files.song.empty() && ::stat(files.song.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ReadAutosaveOriginal(const AutosaveFiles& files) {
    std::ifstream in(files.info, std::ios::binary);
    if (!in) return {};
    std::string text(kInfoLimit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return ParseAutosaveInfo(text).value_or(std::string());
}

void RemoveAutosave(const AutosaveFiles& files) {
    if (!files.song.empty()) ::unlink(files.song.c_str());
    if (!files.info.empty()) ::unlink(files.info.c_str());
}

}  // namespace tamboro::app
