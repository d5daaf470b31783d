#include "audio/files/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

#include "base/ByteOrder.h"
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
        if (n <= 0) return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

FileWriter::~FileWriter() {
    if (!m_committed && !m_tempPath.empty()) {
        m_fd.Reset();
        platform::DeleteFile(m_tempPath);
    }
}

bool FileWriter::Create(const std::string& path, bool scratch) {
    m_scratch = scratch;
    if (scratch) {
        // A scratch file is the program's own: written in place, and a
        // failed write deletes it.
        m_path = path;
        m_tempPath = path;
        m_fd = platform::CreateFileOfSize(path, 0);
        if (!m_fd.Valid()) return false;
        m_buffer.reserve(kBufferBytes);
        return true;
    }
    std::string folder;
    platform::SplitPath(path, &folder, nullptr, nullptr);
    std::string temp;
    if (platform::MakeTempFileName("WAV", temp, folder.empty() ? std::string(".") : folder) == 0)
        return false;
    m_tempPath = temp;
    m_path = path;
    m_fd = platform::OpenFile(temp, false);
    if (!m_fd.Valid()) return false;
    m_buffer.reserve(kBufferBytes);
    return true;
}

bool FileWriter::WriteOut(const std::uint8_t* data, std::size_t bytes) {
    if (!WriteFully(m_fd.Get(), data, bytes)) {
        m_failed = true;
        return false;
    }
    m_fileBytes += bytes;
    if (!m_scratch && m_fileBytes - m_writebackFrom >= kWritebackBytes) {
        // Only a hint: the sync in Commit is what counts.
        ::sync_file_range(m_fd.Get(), static_cast<off_t>(m_writebackFrom),
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
    if (m_failed || !m_fd.Valid()) return false;
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
    if (::pwrite(m_fd.Get(), b, 4, static_cast<off_t>(offset)) != 4) m_failed = true;
    return !m_failed;
}

bool FileWriter::Commit() {
    if (m_scratch) {
        if (!Flush()) return false;
        m_fd.Reset();
        m_committed = true;
        return true;
    }
    if (!Flush() || ::fsync(m_fd.Get()) != 0) {
        m_failed = true;
        return false;
    }
    // The temporary file was created private; give the result the mode an
    // existing destination had, or the usual mode for new files.
    struct stat st {};
    mode_t mode;
    if (::stat(m_path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(m_fd.Get(), mode);
    m_fd.Reset();
    if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        m_failed = true;
        return false;
    }
    m_committed = true;
    return true;
}

}  // namespace tamboro::audio
