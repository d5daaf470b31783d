#include "audio/convert/FormatAdapter.h"

#include "audio/convert/AcmStream.h"
#include "audio/convert/FormatTags.h"

namespace tamboro::audio {
namespace {

WAVEFORMATEX Pcm16(std::uint32_t rate, std::uint16_t channels) {
    WAVEFORMATEX f;
    MakePcmFormat(f, rate, 16, channels);
    return f;
}

bool Is16BitPcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == kFormatPcm && f.wBitsPerSample == 16;
}

}  // namespace

FormatAdapter::FormatAdapter(const WAVEFORMATEX& source, const WAVEFORMATEX& destination,
                             std::unique_ptr<ByteStream> inner) {
    m_mode = kReading;
    if (!inner) return;
    if (SameCoding(source, destination)) {
        m_head = std::move(inner);
        m_ok = DescribeFormat(source).has_value();
        return;
    }
    std::unique_ptr<ByteStream> head = std::move(inner);
    WAVEFORMATEX current = CopyFormat(source);
    bool ok = true;
    const auto addStage = [&](const WAVEFORMATEX& to) {
        auto stage = std::make_unique<AcmStream>(current, to, std::move(head));
        ok = ok && stage->Ready();
        head = std::move(stage);
        current = CopyFormat(to);
        ++m_stages;
    };
    if (current.wFormatTag != kFormatPcm)
        addStage(Pcm16(current.nSamplesPerSec, current.nChannels));
    const bool destinationPcm = destination.wFormatTag == kFormatPcm;
    if (destinationPcm ? !(Is16BitPcm(current) && current.nChannels == destination.nChannels)
                       : !(Is16BitPcm(current) && current.nChannels == destination.nChannels &&
                           current.nSamplesPerSec == destination.nSamplesPerSec)) {
        addStage(Pcm16(destination.nSamplesPerSec, destination.nChannels));
    }
    addStage(destination);
    m_head = std::move(head);
    m_ok = ok;
}

FormatAdapter::~FormatAdapter() = default;

std::uint32_t FormatAdapter::Read(void* buffer, std::uint32_t n) {
    return m_ok ? m_head->Read(buffer, n) : 0;
}

std::int64_t FormatAdapter::Seek(std::int64_t offset, int origin) {
    return m_ok ? m_head->Seek(offset, origin) : -1;
}

bool FormatAdapter::AtEnd() {
    return !m_ok || m_head->AtEnd();
}

std::uint32_t FormatAdapter::Length() {
    return m_ok ? m_head->Length() : 0;
}

}  // namespace tamboro::audio
