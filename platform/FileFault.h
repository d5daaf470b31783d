#pragma once
// The last file-system fault of the calling thread: which path and why, so
// that a caller seeing a failed load or save can tell the user more than a
// result code ("/x/y.wav: No such file or directory"). Like errno, it is
// set where the fault happens and read by whoever reports it.
#include <string>

namespace tamboro::platform {

struct FileFault {
    std::string path;
    std::string reason;  // the system's text (strerror) or a plain sentence
    int error = 0;       // the errno value, 0 for a fault that has none
    bool Any() const { return !path.empty() || !reason.empty(); }
};

// Records a fault with the system's reason for `error` (an errno value).
void NoteFileFault(const std::string& path, int error);
// Records a fault described by `reason`.
void NoteFileFault(const std::string& path, const std::string& reason);
// The last fault recorded on this thread (empty when none since the last
// ClearFileFault).
const FileFault& LastFileFault();
void ClearFileFault();
// "path: reason", "path" or "" as much as the last fault says.
std::string FileFaultText();

}  // namespace tamboro::platform
