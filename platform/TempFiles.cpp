#include "platform/TempFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
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

unsigned MakeTempFileName(const char* prefix, std::string& path, const std::string& folder) {
    path.clear();
    std::string dir = folder.empty() ? TempFolder() : folder;
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const std::string name = std::string(prefix != nullptr ? prefix : "TMP") + "XXXXXX";
    std::string templ = dir + "/" + name + ".tmp";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    const int fd = ::mkstemps(buffer.data(), 4);
    if (fd < 0) return 0;
    ::close(fd);
    path.assign(buffer.data());
    // A number from the unique part, as callers expect one: never zero.
    unsigned number = 2166136261u;
    const std::size_t start = path.size() - 4 - 6;
    for (std::size_t i = start; i < start + 6; ++i) {
        number = (number ^ static_cast<unsigned char>(path[i])) * 16777619u;
    }
    return number != 0 ? number : 1;
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
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
