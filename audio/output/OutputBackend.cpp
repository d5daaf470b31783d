#include "audio/output/OutputBackend.h"

namespace tamboro::audio {

ManualBackend::ManualBackend(std::vector<std::string> devices) : m_devices(std::move(devices)) {}

bool ManualBackend::Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames,
                         RenderFn render, void* context, std::uint32_t& grantedFrames) {
    Close();
    if (m_openFails || !render || LayoutOf(format) == PcmLayout::None) return false;
    m_render = render;
    m_context = context;
    m_format = CopyFormat(format);
    m_index = index;
    m_lost = false;
    ++m_openCount;
    grantedFrames = wantFrames;
    return true;
}

void ManualBackend::Close() {
    m_render = nullptr;
    m_context = nullptr;
}

std::uint32_t ManualBackend::Caps(int /*index*/) {
    return m_openFails ? 0 : kCapsAllFormats | kCapsEmulated;
}

std::uint32_t ManualBackend::Render(void* out, std::uint32_t frames) {
    if (!m_render || m_lost) return 0;
    const std::uint32_t bytes = frames * m_format.nBlockAlign;
    m_render(m_context, static_cast<std::uint8_t*>(out), bytes);
    return bytes;
}

std::vector<std::uint8_t> ManualBackend::Render(std::uint32_t frames) {
    std::vector<std::uint8_t> out(std::size_t{frames} * m_format.nBlockAlign);
    out.resize(Render(out.data(), frames));
    return out;
}

}  // namespace tamboro::audio
