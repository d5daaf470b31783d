#include "platform/FileFault.h"

#include <cstring>

namespace tamboro::platform {
namespace {

thread_local FileFault t_fault;

}  // namespace

void NoteFileFault(const std::string& path, int error) {
    t_fault.path = path;
    t_fault.error = error;
    t_fault.reason = error != 0 ? std::strerror(error) : std::string();
}

void NoteFileFault(const std::string& path, const std::string& reason) {
    t_fault.path = path;
    t_fault.error = 0;
    t_fault.reason = reason;
}

const FileFault& LastFileFault() {
    return t_fault;
}

void ClearFileFault() {
    t_fault = FileFault{};
}

std::string FileFaultText() {
    if (t_fault.path.empty()) return t_fault.reason;
    if (t_fault.reason.empty()) return t_fault.path;
    return t_fault.path + ": " + t_fault.reason;
}

}  // namespace tamboro::platform
