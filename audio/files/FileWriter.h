#pragma once
// Writing a sound file: through platform::OutputFile, which replaces a
// regular file whole or not at all and streams to standard output, pipes,
// FIFOs and character devices. A failed save leaves the old file as it was
// and no temporary file. Scratch files (the program's own temporary files)
// are written in place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileMapping.h"
#include "platform/OutputFile.h"

namespace tamboro::audio {

class FileWriter {
  public:
    FileWriter() = default;
    // Deletes the temporary file unless Commit succeeded.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Opens the output `path`; false when it cannot be made. A `scratch`
    // file (a temporary file of the program's own, which nobody else reads)
    // is written in place and not synced to the disk.
    bool Create(const std::string& path, bool scratch = false);
    // Whether the output is a stream: nothing written can be patched.
    bool IsStream() const { return m_out.IsStream(); }
    // Buffered sequential writes; false once any write failed.
    bool Write(const void* data, std::size_t bytes);
    bool Put16Le(std::uint16_t v);
    bool Put32Le(std::uint32_t v);
    bool Put16Be(std::uint16_t v);
    bool Put32Be(std::uint32_t v);
    bool PutId(const char (&id)[5]) { return Write(id, 4); }
    // Overwrites 4 bytes already written at `offset` (little-endian); fails
    // on a stream.
    bool Patch32Le(std::uint64_t offset, std::uint32_t v);
    // Bytes written so far.
    std::uint64_t Position() const { return m_position; }
    bool Failed() const { return m_failed; }
    // Flushes and finishes the output (OutputFile::Commit). False on any
    // failure (the old file then stays as it was).
    bool Commit();

  private:
    bool Flush();
    // Writes straight to the file; false (and failed) when that fails.
    bool WriteOut(const std::uint8_t* data, std::size_t bytes);

    platform::OutputFile m_out;  // every output but scratch files
    platform::UniqueFd m_fd;     // a scratch file
    std::string m_path;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_position = 0;
    std::uint64_t m_fileBytes = 0;      // appended to the file so far
    std::uint64_t m_writebackFrom = 0;  // where the next early writeback starts
    bool m_failed = false;
    bool m_committed = false;
    bool m_scratch = false;
};

}  // namespace tamboro::audio
