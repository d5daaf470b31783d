#include "audio/convert/AcmStream.h"

#include <algorithm>
#include <cstring>

namespace tamboro::audio {
namespace {

// A step never reads more than this, whatever a file claims its byte rate
// to be.
constexpr std::uint32_t kMaxStep = 4u << 20;

}  // namespace

AcmStream::AcmStream(const WAVEFORMATEX& source, const WAVEFORMATEX& destination,
                     std::unique_ptr<ByteStream> inner)
    : m_srcFormat(CopyFormat(source)),
      m_dstFormat(CopyFormat(destination)),
      m_inner(std::move(inner)) {
    m_mode = kReading;
    if (!m_inner) return;
    m_converter = FormatConverter::Open(source, destination);
    if (!m_converter) return;
    // A quarter of a second of source, in whole blocks, at least one. The
    // byte rate is the one the samples really have, not the record's claim.
    const std::uint32_t block = m_converter->SourceBlockBytes();
    std::uint32_t step = m_converter->SourceBytesPerSecond() / 4;
    step = std::min(step, kMaxStep);
    // A source shorter than a step needs no more room than it has.
    const std::uint32_t length = m_inner->Length();
    if (length > 0 && length < step) step = (length + block - 1) / block * block;
    step = std::max(step / block, 1u) * block;
    m_srcStep = step;
    const std::size_t capacity = m_converter->Prepare(m_srcStep);
    if (capacity == 0 || capacity > UINT32_MAX) return;
    m_dstCapacity = static_cast<std::uint32_t>(capacity);
    m_source.assign(m_srcStep, 0);
    m_destination.assign(m_dstCapacity, 0);
    m_ready = true;
}

AcmStream::~AcmStream() = default;

bool AcmStream::Refill() {
    m_readPos = 0;
    m_converted = 0;
    FormatConverter::Step step{0, 0};
    if (!m_lastDone) {
        // The unconsumed tail is already at the front; read behind it.
        const std::uint32_t want = m_srcStep - m_leftoverBytes;
        std::uint32_t got = 0;
        while (got < want) {
            const std::uint32_t n =
                m_inner->Read(m_source.data() + m_leftoverBytes + got, want - got);
            if (n == 0) break;
            got += n;
        }
        const std::uint32_t total = m_leftoverBytes + got;
        // A stream that stops delivering counts as ended, so a broken inner
        // stream cannot keep us looping.
        const bool last = m_inner->AtEnd() || got < want;
        step =
            m_converter->Convert(m_source.data(), total, last, m_destination.data(), m_dstCapacity);
        m_leftoverBytes = total - static_cast<std::uint32_t>(step.consumed);
        if (m_leftoverBytes > 0)
            std::memmove(m_source.data(), m_source.data() + step.consumed, m_leftoverBytes);
        if (last) m_lastDone = true;
    } else {
        step = m_converter->Convert(nullptr, 0, true, m_destination.data(), m_dstCapacity);
    }
    m_converted = static_cast<std::uint32_t>(step.produced);
    return m_converted > 0 || !m_lastDone || m_converter->HasPending();
}

std::uint32_t AcmStream::Read(void* buffer, std::uint32_t n) {
    if (!m_ready) return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t delivered = 0;
    while (delivered < n) {
        if (m_readPos >= m_converted) {
            if (m_lastDone && !m_converter->HasPending()) break;
            if (!Refill()) break;
            continue;
        }
        const std::uint32_t k = std::min(n - delivered, m_converted - m_readPos);
        std::memcpy(out + delivered, m_destination.data() + m_readPos, k);
        m_readPos += k;
        delivered += k;
    }
    m_position += delivered;
    return delivered;
}

std::int64_t AcmStream::Seek(std::int64_t offset, int origin) {
    if (!m_ready) return -1;
    if (origin == kFromCurrent && offset == 0) return m_position;
    std::int64_t target;
    if (origin == kFromStart) {
        target = offset;
    } else if (origin == kFromCurrent) {
        target = m_position + offset;
    } else {
        return -1;
    }
    if (target < 0) target = 0;
    const std::uint64_t srcRate = m_srcFormat.nAvgBytesPerSec;
    const std::uint64_t dstRate = m_dstFormat.nAvgBytesPerSec;
    const std::uint64_t block = m_converter->SourceBlockBytes();
    // 64-bit product: an output position times a byte rate passes 32 bits.
    // Both rates are nonzero (the converter opened only usable formats).
    std::uint64_t source = static_cast<std::uint64_t>(target) * srcRate / dstRate;
    source = source / block * block;
    const std::int64_t reached = m_inner->Seek(static_cast<std::int64_t>(source), kFromStart);
    if (reached < 0) return -1;
    m_converter->Reset();
    m_converted = 0;
    m_readPos = 0;
    m_leftoverBytes = 0;
    m_lastDone = false;
    m_position = static_cast<std::int64_t>(static_cast<std::uint64_t>(reached) * dstRate / srcRate);
    return m_position;
}

bool AcmStream::AtEnd() {
    if (!m_ready) return true;
    if (m_readPos < m_converted) return false;
    if (m_lastDone && !m_converter->HasPending()) return true;
    if (!m_lastDone && !m_inner->AtEnd()) return false;
    // The source is used up but the final step (a resampler's tail, a
    // partial block) has not run or not been handed out: run it now to know.
    Refill();
    return m_readPos >= m_converted;
}

std::uint32_t AcmStream::Length() {
    if (!m_ready) return 0;
    const std::uint64_t bytes = m_converter->OutputBytesFor(m_inner->Length());
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
}

}  // namespace tamboro::audio
