#pragma once
// Temporary files and small file-system helpers.
#include <string>

namespace tamboro::platform {

// The folder for temporary files: $TMPDIR when it names a folder, else /tmp.
// Without a trailing separator.
std::string TempFolder();

// Creates a new, empty temporary file in `folder` (the temporary folder
// when empty) and stores the path to reach it in `path`. The file is an
// unnamed (O_TMPFILE) file held open by the program, reached as
// "/proc/self/fd/N", until DeleteFile(path): a killed run leaves nothing
// behind. Where the file system has no unnamed files it is a named file
// <prefix><unique part>.tmp (`prefix` null means "TMP"). Returns a nonzero
// number derived from the path, or 0 (and an empty path) on failure.
// Thread-safe.
unsigned MakeTempFileName(const char* prefix, std::string& path, const std::string& folder = {});

// Deletes a file (for an unnamed temporary file: lets it go); errors are
// ignored. Returns true when it was removed.
bool DeleteFile(const std::string& path);

// How many unnamed temporary files the program holds open.
int OpenTemporaryCount();
// Whether `path` is one of the program's unnamed temporary files.
bool IsTemporaryPath(const std::string& path);

// Size of a regular file in bytes, or -1 when it cannot be read.
long long FileSize(const std::string& path);

// Splits "dir/name.ext" into "dir/" (with the trailing separator), "name"
// and "ext" (without the dot; empty when the file name has none). A leading
// dot of a hidden file is part of the title.
void SplitPath(const std::string& path, std::string* folder, std::string* title,
               std::string* extension);

}  // namespace tamboro::platform
