#include "platform/TempFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace tamboro::platform {

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    struct stat st {};
    if (dir != nullptr && *dir != '\0' && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) {
        std::string folder(dir);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    return "/tmp";
}

namespace {

// The program's unnamed temporary files: each is held open here for as long
// as it is in use, and reached by its path "/proc/self/fd/N". The kernel
// removes it when the descriptor is closed, or when the process dies.
std::mutex g_tempMutex;
std::set<int>& TempFds() {
    static std::set<int> fds;
    return fds;
}
constexpr const char kSelfFd[] = "/proc/self/fd/";

bool ProcFdUsable() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

unsigned NumberFrom(const std::string& text) {
    unsigned number = 2166136261u;
    for (const char c : text)
        number = (number ^ static_cast<unsigned char>(c)) * 16777619u;
    return number != 0 ? number : 1;
}

}  // namespace

unsigned MakeTempFileName(const char* prefix, std::string& path, const std::string& folder) {
    path.clear();
    std::string dir = folder.empty() ? TempFolder() : folder;
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (ProcFdUsable()) {
        const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            {
                const std::lock_guard<std::mutex> lock(g_tempMutex);
                TempFds().insert(fd);
            }
            path = kSelfFd + std::to_string(fd);
            return NumberFrom(path);
        }
    }
    // A file system without unnamed files: a named one, which a killed run
    // leaves behind.
    const std::string name = std::string(prefix != nullptr ? prefix : "TMP") + "XXXXXX";
    std::string templ = dir + "/" + name + ".tmp";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), 4);
    if (fd < 0) return 0;
    ::close(fd);
    path.assign(buffer.data());
    return NumberFrom(path.substr(path.size() - 4 - 6, 6));
}

bool DeleteFile(const std::string& path) {
    if (path.empty()) return false;
    if (path.compare(0, sizeof kSelfFd - 1, kSelfFd) == 0) {
        const int fd = std::atoi(path.c_str() + sizeof kSelfFd - 1);
        const std::lock_guard<std::mutex> lock(g_tempMutex);
        if (TempFds().erase(fd) == 1) {
            ::close(fd);
            return true;
        }
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool IsTemporaryPath(const std::string& path) {
    if (path.compare(0, sizeof kSelfFd - 1, kSelfFd) != 0) return false;
    const int fd = std::atoi(path.c_str() + sizeof kSelfFd - 1);
    const std::lock_guard<std::mutex> lock(g_tempMutex);
    return TempFds().count(fd) == 1;
}

int OpenTemporaryCount() {
    const std::lock_guard<std::mutex> lock(g_tempMutex);
    return static_cast<int>(TempFds().size());
}

long long FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

void SplitPath(const std::string& path, std::string* folder, std::string* title,
               std::string* extension) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string name = path.substr(nameStart);
    std::size_t dot = name.find_last_of('.');
    if (dot == 0) dot = std::string::npos;  // ".hidden" has no extension
    if (folder != nullptr) *folder = path.substr(0, nameStart);
    if (title != nullptr) *title = name.substr(0, dot);
    if (extension != nullptr) {
        *extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    }
}

}  // namespace tamboro::platform
