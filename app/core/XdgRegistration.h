#pragma once
// Desktop integration by the freedesktop.org conventions: the song file type
// (a shared-mime-info package with the archive's magic and the ".tbo"
// glob), a desktop entry that opens song files with the program, the icon in
// the hicolor theme, and an empty song in the user's templates folder for
// the file manager's "new document" menu.
//
// Registration runs at every start and is idempotent: a file is written
// only when its content differs, so a second start writes nothing and runs
// no database tool.
#include <cstdint>
#include <string>
#include <vector>

namespace tamboro::app {

inline constexpr const char* kSongMimeType = "application/x-tamboro-song";
inline constexpr const char* kDesktopId = "tamboro.desktop";
inline constexpr const char* kIconName = "tamboro";

using EnvFn = const char* (*)(const char*);

// $XDG_DATA_HOME, else $HOME/.local/share. Empty when neither is known.
std::string XdgDataHome(EnvFn getenv = nullptr);
// $XDG_CONFIG_HOME, else $HOME/.config.
std::string XdgConfigHome(EnvFn getenv = nullptr);
// The user's templates folder from user-dirs.dirs (XDG_TEMPLATES_DIR, with
// $HOME expanded), when that file names one; empty otherwise. Whether the
// folder exists is the caller's question.
std::string XdgTemplatesFolder(EnvFn getenv = nullptr);

// The command line of a desktop entry's Exec key for `program` with a file
// argument: the path quoted by the entry format's rules, then " %f".
std::string DesktopExec(const std::string& program);
// The shared-mime-info package: type, comment, magic "UNFM" at 0, glob.
std::string MimePackage();
// The desktop entry that runs `program` (absolute, or a name on PATH).
std::string DesktopEntry(const std::string& program);

struct RegistrationFile {
    std::string path;  // absolute
    std::string bytes;
};
struct IconImage {
    int size = 0;  // square, pixels
    std::string png;
};

// Every file of a registration under `dataHome`, plus the template song in
// `templatesFolder` when that is not empty and `emptySong` holds bytes.
std::vector<RegistrationFile> RegistrationFiles(const std::string& dataHome,
                                                const std::string& templatesFolder,
                                                const std::string& program,
                                                const std::vector<IconImage>& icons,
                                                const std::string& emptySong);

// Writes each file whose content differs from what is on disk (through a
// temporary file renamed into place, folders created as needed). Returns the
// paths written; a file that cannot be written is left out and logged.
std::vector<std::string> WriteChangedFiles(const std::vector<RegistrationFile>& files);

// Runs update-mime-database and update-desktop-database on the user's
// folders when a written path lies under them and the tools are on PATH.
// Waits for them. Answers how many tools ran.
int RefreshDesktopDatabases(const std::string& dataHome, const std::vector<std::string>& written);

}  // namespace tamboro::app
