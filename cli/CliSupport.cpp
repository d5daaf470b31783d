#include "cli/CliSupport.h"

#include <strings.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

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
    std::ifstream in(path, std::ios::binary);
    in.read(magic, 4);
    return in.gcount() == 4 && std::memcmp(magic, "UNFM", 4) == 0;
}

}  // namespace tamboro::cli
