#pragma once
// The desktop program's command line:
//   tamboro [--lang en|it] [--no-splash] [SONG]
//   tamboro --screenshot FILE.png [--theme N] [--scale K] [--pro]
//           [--on CHANNELS] [--in-time CHANNELS] [SONG]
// CHANNELS are pad letters A..T ("ACF"): --on switches them on and lets the
// song sound for a moment before the picture, --in-time then asks for their
// in-time switches, so the picture shows them waiting (blinking).
#include <string>
#include <vector>

namespace tamboro::app {

struct CommandLine {
    std::string song;         // absolute, or empty
    std::string screenshot;   // PNG to write, or empty
    int theme = -1;           // 0..3, or -1 for the setting
    int scale = 0;            // 1..4, or 0 for the setting
    bool pro = false;         // start with the mix editor
    std::vector<int> on;      // screenshot: channels (0..19) sounding
    std::vector<int> inTime;  // screenshot: channels then waiting for their switch
    bool splash = true;
    bool ok = true;
    std::string error;  // why ok is false
};

// Parses the arguments after the program name (the language option must be
// gone already). A relative song path is made absolute against `cwd`, so it
// still names the same file after start-up changes the current folder.
CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd);

// `path` made absolute against `cwd` and cleaned of "." and ".." steps.
std::string AbsolutePath(const std::string& path, const std::string& cwd);

}  // namespace tamboro::app
