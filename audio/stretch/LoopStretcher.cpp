#include "audio/stretch/LoopStretcher.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace tamboro::audio {
namespace {

using RubberBand::RubberBandStretcher;

// Frames handed to the stretcher per call: small, so that it is stopped
// soon after the kept pass is out (see StretchPath::Fast).
constexpr std::size_t kBlock = 1024;

// Milliseconds of the loop offered after its end beyond the context: the
// stretcher's output lags its input by about its longest window and a half
// (some 4000 frames at 44.1 kHz and ratio 1, 6300 at ratio 0.5), so the kept
// pass is out before the offered input is.
constexpr std::uint32_t kTrailReserveMs = 200;

// What one channel of a stretcher reads: left x `left` + right x `right`
// (a mono loop's sample counts as both). Exact in float for the weights
// used (0, 1, +-1/2) on 16-bit samples.
struct Feed {
    float left;
    float right;
};
constexpr Feed kLeftFeed{1.0f, 0.0f};
constexpr Feed kRightFeed{0.0f, 1.0f};
constexpr Feed kMidFeed{0.5f, 0.5f};
constexpr Feed kSideFeed{0.5f, -0.5f};

// The loop as the stretcher reads it, the loop played round:
//
//   | end of loop  | loop, frames 0..N-1 | start of loop, and on round |
//   |<- context -->|                     |<- trail ------------------->|
//
// With a context of N frames this begins with the loop three times over.
// It is read a block at a time: ReadRound puts `count` frames from loop
// frame `at` into `planes` (one per feed, values in -1..1) and answers the
// frame after them.
std::uint32_t ReadRound(const Wave& in, std::uint32_t at, std::size_t count,
                        const std::vector<Feed>& feeds, std::vector<std::vector<float>>& planes) {
    const auto frames = static_cast<std::uint32_t>(in.FrameCount());
    const std::uint8_t* const data = in.Data();
    const PcmLayout layout = in.Layout();
    const auto sample16 = [](const std::uint8_t* p) {
        return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
    };
    const auto put = [&](std::size_t k, float left, float right) {
        for (std::size_t c = 0; c < feeds.size(); ++c)
            planes[c][k] = feeds[c].left * left + feeds[c].right * right;
    };
    for (std::size_t i = 0; i < count;) {
        // Up to the loop's end in one run; 16-bit samples straight from the
        // bytes, 8-bit ones through GetFrame's widening.
        const std::size_t run = std::min<std::size_t>(count - i, frames - at);
        if (layout == PcmLayout::Stereo16) {
            const std::uint8_t* p = data + std::size_t{at} * 4;
            for (std::size_t k = i; k < i + run; ++k, p += 4)
                put(k, sample16(p), sample16(p + 2));
        } else if (layout == PcmLayout::Mono16) {
            const std::uint8_t* p = data + std::size_t{at} * 2;
            for (std::size_t k = i; k < i + run; ++k, p += 2) {
                const float sample = sample16(p);
                put(k, sample, sample);
            }
        } else {
            for (std::size_t k = i; k < i + run; ++k) {
                const std::uint32_t packed = in.GetFrame(static_cast<std::int32_t>(at + k - i));
                put(k, static_cast<std::int16_t>(packed & 0xFFFF) / 32768.0f,
                    static_cast<std::int16_t>(packed >> 16) / 32768.0f);
            }
        }
        i += run;
        at += static_cast<std::uint32_t>(run);
        if (at == frames) at = 0;
    }
    return at;
}

// Whether a stereo loop's two channels hold the same sample in every frame.
bool ChannelsEqual(const Wave& in) {
    if (in.Format()->nChannels != 2) return false;
    for (std::int32_t i = 0; i < in.FrameCount(); ++i) {
        const std::uint32_t packed = in.GetFrame(i);
        if ((packed & 0xFFFF) != packed >> 16) return false;
    }
    return true;
}

// Rounded to the nearest (halves to even, as nearbyint in the default
// rounding mode) and clamped. Adding and taking away 1.5 x 2^23 rounds a
// float below 2^22 in magnitude to an integer without a call into the maths
// library; clamping first keeps it there and gives what rounding first did.
std::int16_t ToSample(float value) {
    constexpr float kRound = 12582912.0f;
    const float clamped = std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>((clamped + kRound) - kRound);
}

// Writes `value` as a little-endian 16-bit sample at `bytes` and moves past it.
void PutSample(std::uint8_t*& bytes, float value) {
    const auto sample = static_cast<std::uint16_t>(ToSample(value));
    *bytes++ = static_cast<std::uint8_t>(sample & 0xFF);
    *bytes++ = static_cast<std::uint8_t>(sample >> 8);
}

// What the stretchers of one loop share; read only once made.
struct Plan {
    const Wave* in = nullptr;
    std::uint32_t frames = 0;  // of the loop
    std::uint32_t rate = 0;
    double ratio = 1.0;
    std::uint32_t context = 0;  // frames offered before the loop's start
    std::size_t total = 0;      // frames offered in all
    std::uint32_t first = 0;    // the loop frame the offered input starts at
    std::size_t keptStart = 0;  // the stretcher's frame the kept pass starts at
    std::size_t wanted = 0;     // keptStart + target
    std::uint32_t target = 0;   // frames kept
    bool fast = true;           // leave the stretcher once the kept pass is out
};

// Called after every block with the percent done (0..99); false stops the
// stretch.
using Step = std::function<bool(int percent)>;

// One stretcher and what it reads. Its kept pass goes straight into the
// 16-bit frames of the result when it is the loop's only stretcher
// (WriteInto), or is kept as floats to be combined with the other's
// (KeepFloats); the frames it misses stay silent. Made on the calling
// thread; run on any one thread. Rubber Band reports failures by throwing;
// so do these.
class Unit {
  public:
    Unit(const Plan& plan, std::vector<Feed> feeds)
        : m_plan(plan),
          m_feeds(std::move(feeds)),
          m_block(m_feeds.size(), std::vector<float>(kBlock)) {
        for (std::vector<float>& plane : m_block) {
            m_inputs.push_back(plane.data());
            m_outputs.push_back(plane.data());
        }
        // Pitch scale 1 keeps the pitch and with it the spectral envelope
        // (the formants); OptionFormantPreserved only acts on a pitch shift
        // and would cost a fifth more time here for nothing. The two
        // channels of one stretcher are locked together: the stereo image
        // stays where it was (see StereoStretch).
        RubberBandStretcher::Options options =
            RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner;
        if (m_feeds.size() == 2) options |= RubberBandStretcher::OptionChannelsTogether;
        m_stretcher = std::make_unique<RubberBandStretcher>(plan.rate, m_feeds.size(), options,
                                                            plan.ratio, 1.0);
        m_stretcher->setExpectedInputDuration(plan.total);
        m_stretcher->setMaxProcessSize(kBlock);
        // The finer engine's study only counts the frames (it analyses while
        // processing), so it is shown the length in blocks of silence rather
        // than a converted pass over the loop.
        for (std::size_t done = 0; done < plan.total;) {
            const std::size_t step = std::min(kBlock, plan.total - done);
            done += step;
            m_stretcher->study(m_inputs.data(), step, done == plan.total);
        }
        // The middle pass starts and ends exactly where the target length
        // puts it, whatever the stretcher makes of the passes around it.
        // (Key frames only inside the material: the ends are the stretcher's.)
        if (plan.context > 0) {
            m_stretcher->setKeyFrameMap({{plan.context, plan.keptStart},
                                         {std::size_t{plan.context} + plan.frames, plan.wanted}});
        }
    }

    // Stretches; false when `step` stopped it.
    bool Run(const Step& step) {
        std::uint32_t at = m_plan.first;
        for (std::size_t done = 0; done < m_plan.total;) {
            const std::size_t count = std::min(kBlock, m_plan.total - done);
            at = ReadRound(*m_plan.in, at, count, m_feeds, m_block);
            done += count;
            m_stretcher->process(m_inputs.data(), count, done == m_plan.total);
            Drain();
            // The samples the stretcher hands out are final: once the kept
            // pass is out, the rest of its work (the trail, and the
            // draining of its windows after the input's end) only makes
            // what is thrown away.
            if (m_plan.fast && m_produced >= m_plan.wanted) break;
            if (!step(static_cast<int>(std::min(m_produced, m_plan.wanted) * 99 / m_plan.wanted))) {
                return false;
            }
        }
        Drain();
        return true;
    }

    // `bytes` holds the result's frames of `channels` 16-bit samples; a
    // stretcher of one channel writes it to each of them.
    void WriteInto(std::uint8_t* bytes, std::uint32_t channels) {
        m_bytes = bytes;
        m_outChannels = channels;
    }
    void KeepFloats() { m_kept.assign(m_feeds.size(), std::vector<float>(m_plan.target)); }
    float* Kept(std::size_t channel) { return m_kept[channel].data(); }

  private:
    void Drain() {
        for (int ready = m_stretcher->available(); ready > 0; ready = m_stretcher->available()) {
            const std::size_t got = m_stretcher->retrieve(
                m_outputs.data(), std::min<std::size_t>(static_cast<std::size_t>(ready), kBlock));
            if (got == 0) break;
            const std::size_t from = std::max(m_produced, m_plan.keptStart);
            const std::size_t to = std::min(m_produced + got, m_plan.wanted);
            if (m_bytes != nullptr) {
                const std::size_t last = m_block.size() - 1;
                for (std::size_t i = from; i < to; ++i) {
                    std::uint8_t* frame = m_bytes + (i - m_plan.keptStart) * m_outChannels * 2;
                    for (std::uint32_t c = 0; c < m_outChannels; ++c) {
                        PutSample(frame, m_block[std::min<std::size_t>(c, last)][i - m_produced]);
                    }
                }
            }
            for (std::size_t c = 0; c < m_kept.size() && from < to; ++c) {
                std::copy(m_block[c].begin() + static_cast<std::ptrdiff_t>(from - m_produced),
                          m_block[c].begin() + static_cast<std::ptrdiff_t>(to - m_produced),
                          m_kept[c].begin() + static_cast<std::ptrdiff_t>(from - m_plan.keptStart));
            }
            m_produced += got;
        }
    }

    const Plan& m_plan;
    std::vector<Feed> m_feeds;
    std::vector<std::vector<float>> m_block;  // the block in, then the block out
    std::vector<std::vector<float>> m_kept;   // KeepFloats: the kept pass
    std::uint8_t* m_bytes = nullptr;          // WriteInto: the result's frames
    std::uint32_t m_outChannels = 0;          // WriteInto: samples per frame
    std::vector<const float*> m_inputs;
    std::vector<float*> m_outputs;
    std::unique_ptr<RubberBandStretcher> m_stretcher;
    std::size_t m_produced = 0;  // frames retrieved so far
};

// The units one after the other on this thread; the percent reported is
// their mean.
StretchResult RunInTurn(std::vector<std::unique_ptr<Unit>>& units,
                        const StretchProgress& progress) {
    int reported = -1;
    for (std::size_t u = 0; u < units.size(); ++u) {
        const bool finished = units[u]->Run([&](int percent) {
            const auto mean =
                static_cast<int>((u * 99 + static_cast<std::size_t>(percent)) / units.size());
            if (mean == reported) return true;
            reported = mean;
            return !progress || progress(mean);
        });
        if (!finished) return StretchResult::Cancelled;
    }
    return StretchResult::Ok;
}

// Two units at once: the second on a thread of its own, the first on this
// one, which alone reports progress (the slower unit's percent) and alone
// hears a cancel. A stop (cancel, or a failure on either side) reaches the
// other unit at its next block; the worker is joined on every way out,
// exceptions included, and none leaves it.
StretchResult RunTwoThreads(std::vector<std::unique_ptr<Unit>>& units,
                            const StretchProgress& progress) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        int percent = 0;                           // written: worker; read: caller
        bool done = false;                         // written: worker; read: caller
        StretchResult result = StretchResult::Ok;  // written: worker; read: caller
        std::atomic<bool> stop{false};             // written: either; read: both
    } shared;
    // Stops and joins the worker whichever way this function is left.
    struct Joiner {
        Shared& shared;
        std::thread thread;
        ~Joiner() { Join(); }
        void Join() {
            shared.stop = true;
            if (thread.joinable()) thread.join();
        }
    } worker{shared, {}};

    Unit& mine = *units[0];
    Unit& theirs = *units[1];
    try {
        worker.thread = std::thread([&shared, &theirs] {
            StretchResult result = StretchResult::Ok;
            try {
                int reported = -1;
                const bool finished = theirs.Run([&](int percent) {
                    if (percent != reported) {
                        reported = percent;
                        {
                            const std::lock_guard lock(shared.mutex);
                            shared.percent = percent;
                        }
                        shared.changed.notify_one();
                    }
                    return !shared.stop.load(std::memory_order_relaxed);
                });
                if (!finished) result = StretchResult::Cancelled;
            } catch (...) {
                result = StretchResult::OutOfMemory;
            }
            if (result != StretchResult::Ok) shared.stop = true;
            {
                const std::lock_guard lock(shared.mutex);
                if (result == StretchResult::Ok) shared.percent = 99;
                shared.result = result;
                shared.done = true;
            }
            shared.changed.notify_one();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the same samples, one after the other.
        return RunInTurn(units, progress);
    }

    int reported = -1;
    bool cancelled = false;
    const auto report = [&](int own, int other) {
        const int percent = std::min(own, other);
        if (percent == reported) return true;
        reported = percent;
        if (progress && !progress(percent)) cancelled = true;
        return !cancelled;
    };
    const bool finished = mine.Run([&](int percent) {
        int other = 0;
        {
            const std::lock_guard lock(shared.mutex);
            other = shared.percent;
        }
        return report(percent, other) && !shared.stop.load(std::memory_order_relaxed);
    });
    // This unit is done (or stopped): wait for the other, still reporting.
    if (finished) {
        int seen = -1;
        for (;;) {
            std::unique_lock lock(shared.mutex);
            shared.changed.wait(lock, [&] { return shared.done || shared.percent != seen; });
            const bool over = shared.done;
            const bool ok = shared.result == StretchResult::Ok;
            seen = shared.percent;
            lock.unlock();
            // The other unit's end is reported too, however many of its
            // steps went by unseen: the caller always hears the last
            // percent and may still cancel there.
            if (over && !ok) break;
            if (!report(99, seen) || over) break;
        }
    }
    worker.Join();
    if (cancelled) return StretchResult::Cancelled;
    if (shared.result != StretchResult::Ok) return shared.result;
    return finished ? StretchResult::Ok : StretchResult::Cancelled;
}

// Writes the kept frames of two stretchers as 16-bit stereo frames into
// `out` (made with `target` frames).
void WriteStereo(Wave& out, std::uint32_t target, const float* left, const float* right) {
    std::uint8_t* bytes = out.Data();
    for (std::uint32_t i = 0; i < target; ++i) {
        PutSample(bytes, left[i]);
        PutSample(bytes, right[i]);
    }
}

}  // namespace

double StretchRatio(std::uint32_t sourceFrames, std::uint32_t targetFrames) {
    return sourceFrames == 0 ? 0.0 : static_cast<double>(targetFrames) / sourceFrames;
}

bool StretchRatioAllowed(double ratio) {
    return ratio >= kMinStretchRatio && ratio <= kMaxStretchRatio;
}

bool StretchWorthwhile(double ratio) {
    return std::abs(ratio - 1.0) > kStretchTolerance;
}

StretchResult StretchWave(const Wave& in, std::uint32_t targetFrames, Wave& out,
                          const StretchProgress& progress) {
    const WAVEFORMATEX* format = in.Format();
    const std::uint64_t context =
        format == nullptr ? 0 : std::uint64_t{format->nSamplesPerSec} * kStretchContextMs / 1000;
    return StretchWaveWithContext(in, targetFrames, static_cast<std::uint32_t>(context), out,
                                  progress);
}

StretchResult StretchWaveWithContext(const Wave& in, std::uint32_t targetFrames,
                                     std::uint32_t contextFrames, Wave& out,
                                     const StretchProgress& progress, StretchPath path) {
    StretchSettings settings;
    settings.contextFrames = contextFrames;
    settings.path = path;
    return StretchWaveWith(in, targetFrames, settings, out, progress);
}

StretchResult StretchWaveWith(const Wave& in, std::uint32_t targetFrames,
                              const StretchSettings& settings, Wave& out,
                              const StretchProgress& progress) {
    out.Reset();
    const WAVEFORMATEX* format = in.Format();
    const PcmLayout layout = in.Layout();
    if (format == nullptr || layout == PcmLayout::None || in.FrameCount() <= 0) {
        return StretchResult::NotPcm;
    }
    const auto frames = static_cast<std::uint32_t>(in.FrameCount());
    Plan plan;
    plan.ratio = StretchRatio(frames, targetFrames);
    if (!StretchRatioAllowed(plan.ratio)) return StretchResult::RatioOutOfRange;
    const std::uint32_t channels = format->nChannels;
    plan.in = &in;
    plan.frames = frames;
    plan.rate = format->nSamplesPerSec;
    plan.context = std::min(settings.contextFrames, frames);
    const auto trail = static_cast<std::uint32_t>(plan.context + std::uint64_t{plan.rate} *
                                                                     kTrailReserveMs / 1000);
    plan.total = std::size_t{plan.context} + frames + trail;
    // context <= frames, so one added loop length keeps the index positive.
    plan.first = (frames - plan.context) % frames;
    plan.keptStart = static_cast<std::size_t>(std::llround(plan.context * plan.ratio));
    plan.target = targetFrames;
    plan.wanted = plan.keptStart + targetFrames;
    plan.fast = settings.path == StretchPath::Fast;

    // The stretcher's result for two equal channels is its result for one,
    // sample for sample, at twice the work: such a loop (a mono recording
    // kept as stereo) is stretched once and written to both channels.
    const bool once = channels == 1 || (plan.fast && ChannelsEqual(in));
    const StereoStretch stereo = once ? StereoStretch::Together : settings.stereo;

    try {
        std::vector<std::unique_ptr<Unit>> units;
        if (once) {
            units.push_back(std::make_unique<Unit>(plan, std::vector{kLeftFeed}));
        } else if (stereo == StereoStretch::LeftRight) {
            units.push_back(std::make_unique<Unit>(plan, std::vector{kLeftFeed}));
            units.push_back(std::make_unique<Unit>(plan, std::vector{kRightFeed}));
        } else if (stereo == StereoStretch::MidSide) {
            units.push_back(std::make_unique<Unit>(plan, std::vector{kMidFeed}));
            units.push_back(std::make_unique<Unit>(plan, std::vector{kSideFeed}));
        } else {
            units.push_back(std::make_unique<Unit>(plan, std::vector{kLeftFeed, kRightFeed}));
        }
        WAVEFORMATEX target;
        MakePcmFormat(target, plan.rate, 16, static_cast<std::uint16_t>(channels));
        if (!out.Create(target, targetFrames)) return StretchResult::OutOfMemory;
        if (units.size() == 1) {
            units[0]->WriteInto(out.Data(), channels);
        } else {
            for (const std::unique_ptr<Unit>& unit : units)
                unit->KeepFloats();
        }

        const bool threads = units.size() == 2 && settings.threads == StretchThreads::Machine &&
                             std::thread::hardware_concurrency() >= 2;
        const StretchResult result =
            threads ? RunTwoThreads(units, progress) : RunInTurn(units, progress);
        if (result != StretchResult::Ok) {
            out.Reset();
            return result;
        }

        if (units.size() == 2) {
            float* const left = units[0]->Kept(0);
            float* const right = units[1]->Kept(0);
            if (stereo == StereoStretch::MidSide) {
                // left = mid + side, right = mid - side, in place.
                for (std::uint32_t i = 0; i < targetFrames; ++i) {
                    const float mid = left[i];
                    const float side = right[i];
                    left[i] = mid + side;
                    right[i] = mid - side;
                }
            }
            WriteStereo(out, targetFrames, left, right);
        }
    } catch (const std::bad_alloc&) {
        out.Reset();
        return StretchResult::OutOfMemory;
    } catch (...) {
        out.Reset();
        return StretchResult::OutOfMemory;
    }
    for (std::size_t slot = 0; slot < kInfoIds.size(); ++slot) {
        if (in.InfoAt(slot)) out.SetInfo(kInfoIds[slot], *in.InfoAt(slot));
    }
    if (progress) progress(100);
    return StretchResult::Ok;
}

}  // namespace tamboro::audio
