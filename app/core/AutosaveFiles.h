#pragma once
// Where the automatic snapshot of a modified song lives and what is kept
// beside it, without the toolkit:
//
//   $XDG_STATE_HOME/tamboro/autosave.tbo   the song as it was last saved
//                                          automatically (a song file)
//   $XDG_STATE_HOME/tamboro/autosave.ini   "[AUTOSAVE]" then "PATH=" and
//                                          the file the song came from
//                                          (empty for a new song)
//
// ($HOME/.local/state when XDG_STATE_HOME is unset or not absolute.) Both
// are written through the program's one atomic writer. A clean exit removes
// them; finding the song file at start means the last run did not end.
#include <optional>
#include <string>
#include <string_view>

namespace tamboro::app {

struct AutosaveFiles {
    std::string folder;  // without the trailing '/'
    std::string song;    // the snapshot
    std::string info;    // the original path
};

// The files under `folder`.
AutosaveFiles AutosaveFilesIn(const std::string& folder);
// The files in the user's state folder (from the environment); the folder
// is empty when neither XDG_STATE_HOME nor HOME gives an absolute path.
AutosaveFiles DefaultAutosaveFiles();

// The question at start when a snapshot was found (Yes recovers it).
inline constexpr unsigned kAskRecoverAutosave = 2030;

inline constexpr int kAutosaveSeconds = 120;
// Seconds between snapshots: TAMBORO_AUTOSAVE_SECONDS when it is a whole
// number from 1 to 86400, else kAutosaveSeconds.
int AutosaveInterval(const char* environmentValue);

// The info file's text for `originalPath`, and back. Backslashes, line
// feeds and carriage returns in the path are escaped ("\\", "\n", "\r"),
// so any path survives. Parsing takes the PATH key of the AUTOSAVE
// section; nothing when the text holds no such key, a broken escape or a
// NUL in the path.
std::string FormatAutosaveInfo(std::string_view originalPath);
std::optional<std::string> ParseAutosaveInfo(std::string_view text);

// Writes the info file (creating the folder); 0 or an errno value.
int WriteAutosaveInfo(const AutosaveFiles& files, std::string_view originalPath);
// Whether the snapshot exists (a regular file).
bool AutosaveExists(const AutosaveFiles& files);
// The original path from the info file; empty when it is missing or
// unreadable (the snapshot then opens as a new song would).
std::string ReadAutosaveOriginal(const AutosaveFiles& files);
// Removes both files (and nothing else).
void RemoveAutosave(const AutosaveFiles& files);

}  // namespace tamboro::app
