#pragma once
// The one way the program writes a file it produces (songs, sound files,
// mixdowns, converted and prepared loops).
//
// A regular file (or a path that does not exist yet) is replaced whole or
// not at all:
//
//   1. OUT's symbolic links are resolved; the target's folder is FOLDER.
//   2. The bytes go to an unnamed O_TMPFILE file in FOLDER (where the file
//      system refuses that, to a named FOLDER/.NAME.tamboro-PID.tmp).
//   3. Commit: fsync; the old file's mode (and owner and group where
//      permitted, else the usual mode for new files); the unnamed file is
//      linked as .NAME.tamboro-PID.tmp through /proc/self/fd/N; renamed
//      over OUT; FOLDER is synced.
//
// A kill at any moment leaves OUT old or new. Only a kill between the link
// and the rename leaves the .tmp name behind, and the next OutputFile
// opened in that folder removes such names whose process is gone.
//
// Outputs that are not regular files are never replaced: "-" (standard
// output, refused when it is a terminal), a pipe, a FIFO or a character
// device receive the bytes as a stream when the caller allows streams, and
// are refused otherwise. A FIFO without a reader fails at once (ENXIO). An
// existing directory is refused (EISDIR).
//
// Every failure is recorded as the thread's file fault (FileFault.h) with
// the path given and the system's reason. Not thread-safe: one thread uses
// one object.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/FileMapping.h"

namespace tamboro::platform {

class OutputFile {
  public:
    enum class Kind { Closed, Replace, Stream };

    OutputFile() = default;
    // Abandons the output unless Commit succeeded: a replaced file keeps its
    // old content and no temporary name is left.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `path` for a whole new content. `allowStream`: whether a stream
    // output (see above) is acceptable. Returns 0 or an errno value: EISDIR
    // a directory; ENXIO a FIFO without a reader; ENOTTY "-" on a terminal;
    // ESPIPE a stream where none is allowed; EINVAL another kind of file;
    // whatever open(2) says about the folder.
    int Open(const std::string& path, bool allowStream);
    Kind GetKind() const { return m_kind; }
    bool IsStream() const { return m_kind == Kind::Stream; }
    // The descriptor written to (-1 when closed).
    int Fd() const {
        return m_fd.Valid() ? m_fd.Get() : (m_kind == Kind::Stream ? m_streamFd : -1);
    }

    // Appends all `bytes`; 0 or an errno value (ENOSPC, EFBIG, EPIPE, ...).
    // After a failure every further write fails with the same value.
    int Write(const void* data, std::size_t bytes);
    // Writes at `offset` of a file being replaced; ESPIPE for a stream. A
    // failure here does not fail later writes (the caller may write over
    // it) and is the caller's to act on.
    int WriteAt(std::uint64_t offset, const void* data, std::size_t bytes);
    // Cuts a file being replaced to `bytes`; ESPIPE for a stream.
    int Truncate(std::uint64_t bytes);
    // Bytes appended by Write so far.
    std::uint64_t Appended() const { return m_appended; }

    // Finishes: a replaced file takes OUT's place (steps 3 above); a stream
    // is closed (standard output is left open). 0 or an errno value; on
    // failure the output is abandoned.
    int Commit();
    // Drops the output without touching OUT.
    void Abandon();

    // The error of the first failure (0 when none).
    int Error() const { return m_error; }

  private:
    int Fail(int error);
    int OpenStream(const std::string& target, bool standardOutput, bool allowStream);

    Kind m_kind = Kind::Closed;
    std::string m_path;    // as given, for messages
    std::string m_target;  // the file replaced, symbolic links resolved
    std::string m_folder;  // its folder, without the trailing '/'
    std::string m_temp;    // the named temporary file (fallback), or empty
    UniqueFd m_fd;         // the file written (Replace), or an opened stream
    int m_streamFd = -1;   // standard output when it is the stream
    std::uint64_t m_appended = 0;
    int m_error = 0;
    bool m_named = false;   // the bytes go to m_temp, not to an O_TMPFILE file
    bool m_linked = false;  // m_temp exists and must be removed on failure
};

// Removes ".NAME.tamboro-PID.tmp" files in `folder` whose process is gone.
// Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder);

// Test seam: every OutputFile of the process fails its writes with `error`
// once `bytes` bytes have been written through OutputFiles in total from
// now on. `error` 0 turns it off.
void SetOutputFaultForTesting(std::uint64_t bytes, int error);

// Test hook for crash tests, read once from the environment: with
// TAMBORO_TEST_STOP=N the process stops itself (SIGSTOP) as soon as N bytes
// in total have been written through OutputFiles; with "commit", "linked"
// or "renamed" it stops at that step of the first Commit. The test then
// kills it. Has no effect when the variable is not set.

}  // namespace tamboro::platform
