#pragma once
// What files dragged from the file manager do when they are let go over a
// console: a song file opens (anywhere on the console), any other file
// dropped on a pad is loaded into that pad's channel as a loop (the loader
// checks it and reports what it refuses). One file per drop: several files
// at once are refused rather than spread over channels the user did not
// point at.
#include <string>
#include <string_view>
#include <vector>

namespace tamboro::console {

enum class DropKind { None, LoadLoop, OpenSong };

struct DropAction {
    DropKind kind = DropKind::None;
    int channel = -1;  // LoadLoop: 0..19
    std::string path;
};

// Whether `path` names a song file: it ends in ".tbo", in any case.
bool IsSongFile(std::string_view path);

// The action for the local files `paths` let go over the pad of channel
// `pad` (-1: no pad under the point, as everywhere on the mix editor).
DropAction DropFor(const std::vector<std::string>& paths, int pad);

// The same at a point of the main console (console pixels, unscaled).
DropAction DropOnConsole(const std::vector<std::string>& paths, int x, int y);

}  // namespace tamboro::console
