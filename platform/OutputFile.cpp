#include "platform/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/FileFault.h"

namespace tamboro::platform {
namespace {

constexpr const char* kTempMarker = ".tamboro-";

// The write fault seam.
std::atomic<std::uint64_t> g_faultLeft{0};
std::atomic<int> g_faultError{0};

// The crash-test hook.
struct StopHook {
    std::uint64_t afterBytes = 0;  // 0: no byte stop
    std::string atStep;
    std::atomic<std::uint64_t> written{0};
    std::atomic<bool> stopped{false};
    StopHook() {
        const char* value = std::getenv("TAMBORO_TEST_STOP");
        if (value == nullptr || *value == '\0') return;
        char* end = nullptr;
        const unsigned long long n = std::strtoull(value, &end, 10);
        if (end != value && *end == '\0') {
            afterBytes = n;
        } else {
            atStep = value;
        }
    }
    void Stop() {
        if (!stopped.exchange(true)) ::raise(SIGSTOP);
    }
    void Wrote(std::size_t bytes) {
        if (afterBytes == 0) return;
        if (written.fetch_add(bytes) + bytes >= afterBytes) Stop();
    }
    void Step(const char* step) {
        if (!atStep.empty() && atStep == step) Stop();
    }
};

StopHook& Hook() {
    static StopHook hook;
    return hook;
}

// How many of `bytes` may still be written before the seam fails; sets
// `error` when it fails.
std::size_t Allowed(std::size_t bytes, int& error) {
    error = 0;
    const int fault = g_faultError.load();
    if (fault == 0) return bytes;
    std::uint64_t left = g_faultLeft.load();
    for (;;) {
        const std::uint64_t take = std::min<std::uint64_t>(left, bytes);
        if (g_faultLeft.compare_exchange_weak(left, left - take)) {
            if (take < bytes) error = fault;
            return static_cast<std::size_t>(take);
        }
    }
}

int WriteAll(int fd, const std::uint8_t* data, std::size_t bytes, std::int64_t offset) {
    int fault = 0;
    const std::size_t allowed = Allowed(bytes, fault);
    std::size_t done = 0;
    while (done < allowed) {
        const ssize_t n = offset < 0
                              ? ::write(fd, data + done, allowed - done)
                              : ::pwrite(fd, data + done, allowed - done,
                                         static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
        Hook().Wrote(static_cast<std::size_t>(n));
    }
    return fault;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// OUT with its symbolic links resolved, following a dangling link to the
// file it names (that file is created).
std::string ResolveTarget(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer - 1);
        if (n <= 0) break;
        const std::string link(buffer, static_cast<std::size_t>(n));
        current = link[0] == '/' ? link : FolderOf(current) + "/" + link;
    }
    return current;
}

bool ProcessGone(long pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        // ".NAME.tamboro-PID.tmp"
        const std::string name = entry->d_name;
        if (name.size() < 16 || name[0] != '.' || name.compare(name.size() - 4, 4, ".tmp") != 0) {
            continue;
        }
        const std::size_t marker = name.rfind(kTempMarker);
        if (marker == std::string::npos || marker == 0) continue;
        const std::string digits = name.substr(marker + std::strlen(kTempMarker),
                                               name.size() - 4 - marker - std::strlen(kTempMarker));
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
            digits.size() > 9) {
            continue;
        }
        if (ProcessGone(std::atol(digits.c_str())) &&
            ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

void SetOutputFaultForTesting(std::uint64_t bytes, int error) {
    g_faultError.store(0);
    g_faultLeft.store(bytes);
    g_faultError.store(error);
}

OutputFile::~OutputFile() {
    if (m_kind != Kind::Closed) Abandon();
}

int OutputFile::Fail(int error) {
    if (m_error == 0) m_error = error;
    NoteFileFault(m_path, error);
    return error;
}

int OutputFile::OpenStream(const std::string& target, bool standardOutput, bool allowStream) {
    if (!allowStream) {
        NoteFileFault(m_path, "cannot be written as a stream (not a regular file)");
        m_error = ESPIPE;
        return ESPIPE;
    }
    if (standardOutput) {
        if (::isatty(STDOUT_FILENO) != 0) {
            NoteFileFault("-", "standard output is a terminal");
            m_error = ENOTTY;
            return ENOTTY;
        }
        m_streamFd = STDOUT_FILENO;
    } else {
        // Non-blocking, so that a FIFO without a reader fails at once
        // (ENXIO) instead of waiting; the writes then block as usual.
        const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return Fail(errno);
        m_fd.Reset(fd);
        struct stat st {};
        if (::fstat(fd, &st) != 0) return Fail(errno);
        if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) {
            m_fd.Reset();
            NoteFileFault(m_path, "not a regular file, a pipe or a device");
            m_error = EINVAL;
            return EINVAL;
        }
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail(errno);
    }
    m_kind = Kind::Stream;
    return 0;
}

int OutputFile::Open(const std::string& path, bool allowStream) {
    if (m_kind != Kind::Closed) Abandon();
    m_path = path;
    m_error = 0;
    m_appended = 0;
    m_named = m_linked = false;
    m_temp.clear();
    if (path.empty()) return Fail(ENOENT);
    if (path == "-") return OpenStream(path, true, allowStream);

    m_target = ResolveTarget(path);
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
            return OpenStream(m_target, false, allowStream);
        }
        if (!S_ISREG(st.st_mode)) {
            NoteFileFault(m_path, "not a regular file, a pipe or a device");
            m_error = EINVAL;
            return EINVAL;
        }
    } else if (errno != ENOENT) {
        return Fail(errno);
    }
    m_folder = FolderOf(m_target);
    RemoveStaleTemporaries(m_folder);
    m_temp = m_folder + "/." + NameOf(m_target) + kTempMarker + std::to_string(::getpid()) + ".tmp";

    int fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // The file system has no unnamed files: a named one, removed again
        // by Abandon (or, after a kill, by the next writer in this folder).
        ::unlink(m_temp.c_str());
        fd = ::open(m_temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) m_named = m_linked = true;
    }
    if (fd < 0) {
        const int error = errno;
        m_named = m_linked = false;
        return Fail(error);
    }
    m_fd.Reset(fd);
    m_kind = Kind::Replace;
    return 0;
}

int OutputFile::Write(const void* data, std::size_t bytes) {
    if (m_error != 0) return m_error;
    if (m_kind == Kind::Closed) return Fail(EBADF);
    const int error = WriteAll(Fd(), static_cast<const std::uint8_t*>(data), bytes, -1);
    if (error != 0) return Fail(error);
    m_appended += bytes;
    return 0;
}

int OutputFile::WriteAt(std::uint64_t offset, const void* data, std::size_t bytes) {
    if (m_error != 0) return m_error;
    if (m_kind != Kind::Replace) {
        const int error = m_kind == Kind::Stream ? ESPIPE : EBADF;
        NoteFileFault(m_path, error);
        return error;
    }
    const int error = WriteAll(m_fd.Get(), static_cast<const std::uint8_t*>(data), bytes,
                               static_cast<std::int64_t>(offset));
    // Not sticky: a writer that places its own bytes (the archive) may
    // write over what failed; it decides whether to commit.
    if (error != 0) NoteFileFault(m_path, error);
    return error;
}

int OutputFile::Truncate(std::uint64_t bytes) {
    if (m_error != 0) return m_error;
    if (m_kind != Kind::Replace) return Fail(m_kind == Kind::Stream ? ESPIPE : EBADF);
    if (::ftruncate(m_fd.Get(), static_cast<off_t>(bytes)) != 0) return Fail(errno);
    return 0;
}

int OutputFile::Commit() {
    if (m_error != 0) {
        const int error = m_error;
        Abandon();
        return error;
    }
    if (m_kind == Kind::Closed) return Fail(EBADF);
    Hook().Step("commit");
    if (m_kind == Kind::Stream) {
        int error = 0;
        if (m_fd.Valid() && ::close(m_fd.Release()) != 0) error = errno;
        m_streamFd = -1;
        m_kind = Kind::Closed;
        return error != 0 ? Fail(error) : 0;
    }
    const auto fail = [this](int error) {
        Fail(error);
        Abandon();
        return error;
    };
    if (::fsync(m_fd.Get()) != 0) return fail(errno);
    // The temporary file was made private; the result gets the old file's
    // mode, owner and group, or the usual mode for a new file.
    struct stat st {};
    if (::stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (::fchown(m_fd.Get(), st.st_uid, st.st_gid) != 0) {
            // Not permitted for another owner: keep ours, with the mode.
        }
        ::fchmod(m_fd.Get(), st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(m_fd.Get(), 0666 & ~mask);
    }
    if (!m_named) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.Get());
        int linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_temp.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno == EEXIST) {
            // Our own leftover of an earlier write (same process).
            ::unlink(m_temp.c_str());
            linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_temp.c_str(), AT_SYMLINK_FOLLOW);
        }
        if (linked != 0) return fail(errno);
        m_linked = true;
    }
    Hook().Step("linked");
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) return fail(errno);
    m_linked = false;
    Hook().Step("renamed");
    SyncFolder(m_folder);
    const int closed = ::close(m_fd.Release());
    m_kind = Kind::Closed;
    // The data were synced above; a late close error is still reported.
    return closed != 0 ? Fail(errno) : 0;
}

void OutputFile::Abandon() {
    m_fd.Reset();
    if (m_linked && !m_temp.empty()) ::unlink(m_temp.c_str());
    m_linked = false;
    m_streamFd = -1;
    m_kind = Kind::Closed;
}

}  // namespace tamboro::platform
