#include "audio/convert/FormatConverter.h"

#include <algorithm>
#include <cstring>

#include "audio/convert/FormatTags.h"
#include "audio/convert/Resampler.h"

namespace tamboro::audio {
namespace {

// Frames handed to the resampler at a time, and room for what it gives back.
constexpr std::size_t kChunkFrames = 4096;
constexpr std::size_t kChunkOutFrames = 8192;
// Room for the resampler's tail at the end, beyond the step's own output.
constexpr std::size_t kTailFrames = 8192;

bool IsAdpcm(const codecs::CodecParams& p) {
    return p.coding == codecs::Coding::ImaAdpcm || p.coding == codecs::Coding::MsAdpcm;
}

}  // namespace

std::unique_ptr<FormatConverter> FormatConverter::Open(const WAVEFORMATEX& source,
                                                       const WAVEFORMATEX& destination) {
    auto in = DescribeFormat(source);
    auto out = DescribeFormat(destination);
    if (!in || !out) return nullptr;
    if (!RatesConvertible(source.nSamplesPerSec, destination.nSamplesPerSec)) return nullptr;
    std::unique_ptr<FormatConverter> c(new FormatConverter());
    c->m_source = CopyFormat(source);
    c->m_destination = CopyFormat(destination);
    c->m_in = std::move(*in);
    c->m_out = std::move(*out);
    c->m_identity = SameCoding(source, destination);
    c->m_workChannels = std::min(c->m_in.channels, c->m_out.channels);
    if (!c->m_identity) {
        c->m_decoder = std::make_unique<codecs::BlockCodec>(c->m_in);
        c->m_encoder = std::make_unique<codecs::BlockCodec>(c->m_out);
        if (source.nSamplesPerSec != destination.nSamplesPerSec) {
            c->m_resampler = Resampler::Create(source.nSamplesPerSec, destination.nSamplesPerSec,
                                               c->m_workChannels);
            if (!c->m_resampler) return nullptr;
        }
    }
    return c;
}

FormatConverter::~FormatConverter() = default;

std::uint32_t FormatConverter::SourceBytesPerSecond() const {
    const std::uint64_t bps =
        std::uint64_t{m_source.nSamplesPerSec} * m_in.blockBytes / m_in.framesPerBlock;
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(bps, 1, UINT32_MAX));
}

std::size_t FormatConverter::Prepare(std::size_t maxSourceBytes) {
    if (m_identity) return maxSourceBytes;
    const std::size_t framesIn = codecs::FramesInBytes(m_in, maxSourceBytes);
    m_decoded = std::make_unique_for_overwrite<std::int32_t[]>(framesIn * m_in.channels + 1);
    const std::uint64_t framesOut =
        framesIn * std::uint64_t{m_destination.nSamplesPerSec} / m_source.nSamplesPerSec + 16;
    if (m_resampler) {
        // Input chunks small enough that their output fits kChunkOutFrames
        // at most a few times over (the loop in Absorb takes the rest).
        const std::uint64_t fit =
            kChunkOutFrames * std::uint64_t{m_source.nSamplesPerSec} / m_destination.nSamplesPerSec;
        m_chunkIn = static_cast<std::size_t>(std::clamp<std::uint64_t>(fit, 16, kChunkFrames));
        m_chunkOut = kChunkOutFrames;
        m_floatIn = std::make_unique_for_overwrite<float[]>(m_chunkIn * m_workChannels);
        m_floatOut = std::make_unique_for_overwrite<float[]>(m_chunkOut * m_workChannels);
        m_resampled = std::make_unique_for_overwrite<std::int32_t[]>(m_chunkOut * m_workChannels);
    }
    m_pending.reserve((framesOut + m_out.framesPerBlock + kTailFrames) * m_out.channels);
    return codecs::BytesForFrames(m_out, framesOut + m_out.framesPerBlock);
}

void FormatConverter::Reset() {
    if (m_resampler) m_resampler->Clear();
    if (m_encoder) m_encoder->Reset();
    m_pending.clear();
    m_pendingStart = 0;
    m_framesIn = 0;
    m_framesOut = 0;
    m_finished = false;
}

bool FormatConverter::HasPending() const {
    if (m_identity) return false;
    const std::size_t waiting = m_pending.size() - m_pendingStart;
    return waiting > 0 &&
           (m_finished || waiting >= std::size_t{m_out.framesPerBlock} * m_out.channels);
}

std::uint64_t FormatConverter::OutputBytesFor(std::uint64_t sourceBytes) const {
    if (m_identity) {
        return IsAdpcm(m_in) ? sourceBytes : sourceBytes / m_in.blockBytes * m_in.blockBytes;
    }
    const std::uint64_t framesIn = codecs::FramesInBytes(m_in, sourceBytes);
    // framesIn < 2^33 and rates <= 10^6: the product stays far below 2^64.
    const std::uint64_t framesOut =
        framesIn * m_destination.nSamplesPerSec / m_source.nSamplesPerSec;
    return codecs::BytesForFrames(m_out, framesOut);
}

void FormatConverter::AppendExpanded(const std::int32_t* frames, std::size_t count) {
    if (m_pendingStart > 0) {
        m_pending.erase(m_pending.begin(),
                        m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingStart));
        m_pendingStart = 0;
    }
    const std::uint32_t wch = m_workChannels;
    const std::uint32_t och = m_out.channels;
    if (och == wch) {
        m_pending.insert(m_pending.end(), frames, frames + count * wch);
    } else {
        const std::size_t base = m_pending.size();
        m_pending.resize(base + count * och);
        std::int32_t* out = m_pending.data() + base;
        for (std::size_t f = 0; f < count; ++f) {
            for (std::uint32_t j = 0; j < och; ++j)
                out[f * och + j] = frames[f * wch + j % wch];
        }
    }
    m_framesOut += count;
}

void FormatConverter::Absorb(std::int32_t* frames, std::size_t count) {
    const std::uint32_t ich = m_in.channels;
    const std::uint32_t wch = m_workChannels;
    // Fewer channels first, so that the resampler does less work. In place:
    // frame f is written at or before where it was read.
    if (wch < ich) {
        for (std::size_t f = 0; f < count; ++f) {
            const std::int32_t* src = frames + f * ich;
            std::int32_t* dst = frames + f * wch;
            if (wch == 1) {
                std::int64_t sum = 0;
                for (std::uint32_t c = 0; c < ich; ++c)
                    sum += src[c];
                dst[0] = static_cast<std::int32_t>(sum / ich);
            } else {
                std::memmove(dst, src, wch * sizeof(std::int32_t));
            }
        }
    }
    if (!m_resampler) {
        AppendExpanded(frames, count);
        return;
    }
    constexpr float kScale = 1.0f / 2147483648.0f;
    const std::size_t outCapacity = m_chunkOut;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(m_chunkIn, count - done);
        const std::int32_t* src = frames + done * wch;
        for (std::size_t i = 0; i < n * wch; ++i)
            m_floatIn[i] = static_cast<float>(src[i]) * kScale;
        std::size_t offset = 0;
        for (;;) {
            std::size_t used = 0;
            const std::size_t written = m_resampler->Process(
                m_floatIn.get() + offset * wch, n - offset, &used, m_floatOut.get(), outCapacity);
            offset += used;
            for (std::size_t i = 0; i < written * wch; ++i)
                m_resampled[i] = codecs::FromReal(m_floatOut[i]);
            AppendExpanded(m_resampled.get(), written);
            if (offset >= n && written < outCapacity) break;
            if (used == 0 && written == 0) break;  // the library made no progress
        }
        done += n;
    }
}

void FormatConverter::Finish() {
    const std::uint32_t wch = m_workChannels;
    if (m_resampler) {
        for (;;) {
            const std::size_t written = m_resampler->Flush(m_floatOut.get(), m_chunkOut);
            if (written == 0) break;
            for (std::size_t i = 0; i < written * wch; ++i)
                m_resampled[i] = codecs::FromReal(m_floatOut[i]);
            AppendExpanded(m_resampled.get(), written);
        }
    }
    const std::uint32_t och = m_out.channels;
    // The law: exactly floor(in x rate out / rate in) frames.
    const std::uint64_t target =
        m_framesIn * m_destination.nSamplesPerSec / m_source.nSamplesPerSec;
    const std::size_t waiting = (m_pending.size() - m_pendingStart) / och;
    if (m_framesOut > target) {
        const std::size_t drop =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_framesOut - target, waiting));
        m_pending.resize(m_pending.size() - drop * och);
        m_framesOut -= drop;
    } else if (m_framesOut < target) {
        m_pending.resize(m_pending.size() + (target - m_framesOut) * och, 0);
        m_framesOut = target;
    }
    // The last block of a block coding is filled by repeating the last frame.
    const std::size_t frames = (m_pending.size() - m_pendingStart) / och;
    const std::size_t rest = frames % m_out.framesPerBlock;
    if (rest != 0) {
        const std::size_t pad = m_out.framesPerBlock - rest;
        const std::size_t last = m_pending.size() - och;
        for (std::size_t i = 0; i < pad; ++i) {
            for (std::uint32_t c = 0; c < och; ++c)
                m_pending.push_back(m_pending[last + c]);
        }
    }
}

FormatConverter::Step FormatConverter::Convert(const std::uint8_t* source, std::size_t bytes,
                                               bool last, std::uint8_t* destination,
                                               std::size_t capacity) {
    Step step{0, 0};
    if (m_identity) {
        const std::size_t block = m_in.blockBytes;
        const std::size_t whole = bytes / block * block;
        // A trailing partial ADPCM block still holds frames; a partial PCM
        // frame holds none and is dropped.
        const std::size_t take = last && IsAdpcm(m_in) ? bytes : whole;
        const std::size_t n = take <= capacity ? take : capacity / block * block;
        if (n > 0) std::memcpy(destination, source, n);
        step.consumed = last && n == take ? bytes : n;
        step.produced = n;
        return step;
    }
    if (!m_finished && (bytes > 0 || last)) {
        const std::size_t blocks = bytes / m_in.blockBytes;
        std::size_t frames = blocks * m_in.framesPerBlock;
        m_decoder->DecodeBlocks(source, blocks, m_decoded.get());
        step.consumed = blocks * m_in.blockBytes;
        if (last) {
            const std::size_t rest = bytes - step.consumed;
            if (rest > 0 && IsAdpcm(m_in)) {
                frames += m_decoder->DecodePartialBlock(source + step.consumed, rest,
                                                        m_decoded.get() + frames * m_in.channels);
            }
            step.consumed = bytes;  // a partial PCM frame is dropped
        }
        m_framesIn += frames;
        Absorb(m_decoded.get(), frames);
        if (last) {
            Finish();
            m_finished = true;
        }
    }
    const std::uint32_t och = m_out.channels;
    const std::size_t perBlock = std::size_t{m_out.framesPerBlock} * och;
    const std::size_t waitingBlocks = (m_pending.size() - m_pendingStart) / perBlock;
    const std::size_t blocks = std::min(waitingBlocks, capacity / m_out.blockBytes);
    m_encoder->EncodeBlocks(m_pending.data() + m_pendingStart, blocks, destination);
    m_pendingStart += blocks * perBlock;
    step.produced = blocks * m_out.blockBytes;
    return step;
}

}  // namespace tamboro::audio
