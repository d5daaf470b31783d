#pragma once
// The requests one start of the program sends to the one already running,
// over a local socket: one line each, UTF-8, ending in '\n'.
//   OPEN <absolute path>   open this song as the Files dialog would
//   RELEASE                stop and let go of the sound device
#include <optional>
#include <string>
#include <string_view>

namespace tamboro::app {

// The local socket's name in the abstract namespace:
// "TAMBORO_REQUESTWAVEDEVICE.<uid>". The abstract namespace is shared by
// the whole machine while the lock file lives in the runtime folder, so a
// runtime folder other than the user's standard one (/run/user/<uid>)
// adds ".<hash of the folder>": each folder then pairs with its own socket
// (test runs side by side, or a session with its own folder).
std::string InstanceSocketName(unsigned uid, const std::string& runtimeFolder = {});
// The lock file that marks the running instance, in `runtimeFolder`.
std::string InstanceLockPath(const std::string& runtimeFolder);

struct InstanceRequest {
    enum class Kind { Open, Release } kind = Kind::Release;
    std::string path;  // Open only: absolute
    friend bool operator==(const InstanceRequest&, const InstanceRequest&) = default;
};

// The line for a request, with its '\n'. An Open path with a line break in
// it cannot be sent: nothing (the sender then opens nothing).
std::optional<std::string> FormatRequest(const InstanceRequest& request);
// Reads one line (without its '\n'). Nothing for an unknown word, an OPEN
// without an absolute path, or anything longer than kMaxRequestBytes.
std::optional<InstanceRequest> ParseRequest(std::string_view line);
inline constexpr std::size_t kMaxRequestBytes = 8192;

}  // namespace tamboro::app
