#include "audio/files/FileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/ByteOrder.h"
#include "platform/FileFault.h"
#include "platform/TempFiles.h"

namespace tamboro::audio {
namespace {

constexpr std::size_t kBufferBytes = 65536;
// A file that will be synced has its pages sent to the disk every this many
// bytes while it is written, so the sync at the end waits for little.
constexpr std::uint64_t kWritebackBytes = 8u << 20;

bool WriteFully(int fd, const std::uint8_t* data, std::size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = ::write(fd, data, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

FileWriter::~FileWriter() {
    if (m_scratch && !m_committed && !m_path.empty()) {
        m_fd.Reset();
        platform::DeleteFile(m_path);
    }
    // A replaced output that was not committed is abandoned by m_out.
}

bool FileWriter::Create(const std::string& path, bool scratch) {
    // The program's own unnamed temporary files are scratch files whatever
    // the caller said: there is nothing to replace atomically.
    m_scratch = scratch || platform::IsTemporaryPath(path);
    m_path = path;
    m_buffer.reserve(kBufferBytes);
    if (m_scratch) {
        // A scratch file is the program's own: written in place, and a
        // failed write deletes it.
        m_fd = platform::CreateFileOfSize(path, 0);
        return m_fd.Valid();
    }
    return m_out.Open(path, true) == 0;
}

bool FileWriter::WriteOut(const std::uint8_t* data, std::size_t bytes) {
    if (m_scratch) {
        if (!WriteFully(m_fd.Get(), data, bytes)) {
            platform::NoteFileFault(m_path, errno);
            m_failed = true;
            return false;
        }
    } else if (m_out.Write(data, bytes) != 0) {
        m_failed = true;
        return false;
    }
    m_fileBytes += bytes;
    if (!m_scratch && !m_out.IsStream() && m_fileBytes - m_writebackFrom >= kWritebackBytes) {
        // Only a hint: the sync in Commit is what counts.
        ::sync_file_range(m_out.Fd(), static_cast<off_t>(m_writebackFrom),
                          static_cast<off_t>(m_fileBytes - m_writebackFrom), SYNC_FILE_RANGE_WRITE);
        m_writebackFrom = m_fileBytes;
    }
    return true;
}

bool FileWriter::Flush() {
    if (m_failed) return false;
    if (!m_buffer.empty()) WriteOut(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return !m_failed;
}

bool FileWriter::Write(const void* data, std::size_t bytes) {
    if (m_failed ||
        (m_scratch ? !m_fd.Valid() : m_out.GetKind() == platform::OutputFile::Kind::Closed))
        return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_position += bytes;
    if (m_buffer.size() + bytes > kBufferBytes) {
        if (!Flush()) return false;
        if (bytes >= kBufferBytes) return WriteOut(p, bytes);
    }
    m_buffer.insert(m_buffer.end(), p, p + bytes);
    return true;
}

bool FileWriter::Put16Le(std::uint16_t v) {
    std::uint8_t b[2];
    base::StoreLe<16>(b, v);
    return Write(b, 2);
}
bool FileWriter::Put32Le(std::uint32_t v) {
    std::uint8_t b[4];
    base::StoreLe<32>(b, v);
    return Write(b, 4);
}
bool FileWriter::Put16Be(std::uint16_t v) {
    std::uint8_t b[2];
    base::StoreBe<16>(b, v);
    return Write(b, 2);
}
bool FileWriter::Put32Be(std::uint32_t v) {
    std::uint8_t b[4];
    base::StoreBe<32>(b, v);
    return Write(b, 4);
}

bool FileWriter::Patch32Le(std::uint64_t offset, std::uint32_t v) {
    if (!Flush()) return false;
    std::uint8_t b[4];
    base::StoreLe<32>(b, v);
    if (m_scratch) {
        if (::pwrite(m_fd.Get(), b, 4, static_cast<off_t>(offset)) != 4) {
            platform::NoteFileFault(m_path, errno);
            m_failed = true;
        }
    } else if (m_out.WriteAt(offset, b, 4) != 0) {
        m_failed = true;
    }
    return !m_failed;
}

bool FileWriter::Commit() {
    if (!Flush()) return false;
    if (m_scratch) {
        m_fd.Reset();
        m_committed = true;
        return true;
    }
    if (m_out.Commit() != 0) {
        m_failed = true;
        return false;
    }
    m_committed = true;
    return true;
}

}  // namespace tamboro::audio
