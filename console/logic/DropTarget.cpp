#include "console/logic/DropTarget.h"

#include "console/logic/ConsoleLayout.h"

namespace tamboro::console {

bool IsSongFile(std::string_view path) {
    constexpr std::string_view kExtension = ".tbo";
    if (path.size() <= kExtension.size()) return false;
    const std::string_view tail = path.substr(path.size() - kExtension.size());
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

DropAction DropFor(const std::vector<std::string>& paths, int pad) {
    if (paths.size() != 1 || paths.front().empty()) return {};
    const std::string& path = paths.front();
    if (IsSongFile(path)) return {DropKind::OpenSong, -1, path};
    if (pad < 0 || pad >= kChannels) return {};
    return {DropKind::LoadLoop, pad, path};
}

DropAction DropOnConsole(const std::vector<std::string>& paths, int x, int y) {
    return DropFor(paths, PadAt(x, y));
}

}  // namespace tamboro::console
