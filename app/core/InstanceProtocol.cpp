#include "app/core/InstanceProtocol.h"

#include <cstdint>
#include <cstdio>

namespace tamboro::app {

std::string InstanceSocketName(unsigned uid, const std::string& runtimeFolder) {
    std::string name = "TAMBORO_REQUESTWAVEDEVICE." + std::to_string(uid);
    std::string folder = runtimeFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty() || folder == "/run/user/" + std::to_string(uid)) return name;
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : folder) {
        hash ^= c;
        hash *= 16777619u;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", hash);
    return name + suffix;
}

std::string InstanceLockPath(const std::string& runtimeFolder) {
    std::string path = runtimeFolder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + "tamboro/instance.lock";
}

std::optional<std::string> FormatRequest(const InstanceRequest& request) {
    if (request.kind == InstanceRequest::Kind::Release) return std::string("RELEASE\n");
    if (request.path.empty() || request.path.front() != '/' ||
        request.path.find_first_of("\r\n") != std::string::npos)
        return std::nullopt;
    std::string line = "OPEN " + request.path + "\n";
    if (line.size() > kMaxRequestBytes) return std::nullopt;
    return line;
}

std::optional<InstanceRequest> ParseRequest(std::string_view line) {
    if (line.size() > kMaxRequestBytes) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == "RELEASE") return InstanceRequest{InstanceRequest::Kind::Release, {}};
    if (line.starts_with("OPEN ")) {
        std::string_view path = line.substr(5);
        if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos)
            return std::nullopt;
        return InstanceRequest{InstanceRequest::Kind::Open, std::string(path)};
    }
    return std::nullopt;
}

}  // namespace tamboro::app
