#include "cli/CliSupport.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/FileFault.h"
#include "platform/FileMapping.h"

#include "audio/convert/FormatTags.h"

namespace tamboro::cli {
namespace {

std::atomic<bool> g_interrupted{false};
struct sigaction g_previous {};

void OnInterrupt(int) {
    g_interrupted.store(true);
}

}  // namespace

std::optional<std::uint16_t> EncodingTag(const std::string& name) {
    struct Encoding {
        const char* name;
        std::uint16_t tag;
    };
    static constexpr Encoding kEncodings[] = {{"pcm", audio::kFormatPcm},
                                              {"float", audio::kFormatIeeeFloat},
                                              {"mulaw", audio::kFormatMuLaw},
                                              {"alaw", audio::kFormatALaw},
                                              {"ima-adpcm", audio::kFormatImaAdpcm},
                                              {"ms-adpcm", audio::kFormatMsAdpcm}};
    for (const auto& e : kEncodings) {
        if (name == e.name) return e.tag;
    }
    return std::nullopt;
}

ProgressBar::ProgressBar() : m_on(::isatty(STDERR_FILENO) != 0) {}

ProgressBar::~ProgressBar() {
    if (m_on && m_last >= 0) std::fputc('\n', stderr);
}

void ProgressBar::Show(const char* label, int percent) {
    if (!m_on) return;
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    if (percent == m_last && m_label == label) return;
    m_last = percent;
    m_label = label;
    char cells[41];
    const int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i)
        cells[i] = i < filled ? '#' : '.';
    cells[40] = '\0';
    std::fprintf(stderr, "\r%-12s [%s] %3d%%", label, cells, percent);
    std::fflush(stderr);
}

InterruptGuard::InterruptGuard() {
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_previous);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &g_previous, nullptr);
}

bool InterruptGuard::Interrupted() const {
    return g_interrupted.load();
}

bool IsSongFile(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && ::strcasecmp(path.c_str() + dot, ".tbo") == 0) return true;
    char magic[4] = {};
    const platform::UniqueFd fd = platform::OpenFile(path, true);
    // What could not be opened here is reported by the reader it goes to.
    platform::ClearFileFault();
    return fd.Valid() && ::pread(fd.Get(), magic, 4, 0) == 4 && std::memcmp(magic, "UNFM", 4) == 0;
}

bool ReadInputText(const std::string& path, std::size_t maxBytes, std::string& text) {
    text.clear();
    platform::UniqueFd owned;
    int fd = STDIN_FILENO;
    if (path != "-") {
        owned = platform::OpenFile(path, true);
        if (!owned.Valid()) return false;
        fd = owned.Get();
    }
    char piece[65536];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0) {
            if (errno == EINTR) continue;
            platform::NoteFileFault(path, errno);
            return false;
        }
        if (n == 0) return true;
        if (text.size() + static_cast<std::size_t>(n) > maxBytes) {
            platform::NoteFileFault(
                path, "more than " + std::to_string(maxBytes >> 20) + " MB, which no mix needs");
            text.clear();
            return false;
        }
        text.append(piece, static_cast<std::size_t>(n));
    }
}

bool IsReadableInput(const std::string& path) {
    platform::ClearFileFault();
    return platform::OpenFile(path, true).Valid();
}

bool IsStreamOutput(const std::string& path) {
    struct stat st {};
    return path == "-" ||
           (::stat(path.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)));
}

}  // namespace tamboro::cli
