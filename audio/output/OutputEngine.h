#pragma once
// The real-time half of the output device: 60 slots x 4 voices mixed into
// one block of the device format, driven by a backend's render calls.
//
// Ownership and threads:
//   - The owner thread (OutputDevice) makes SlotBuffers, pushes Commands into
//     a bounded single-producer/single-consumer ring and frees a buffer only
//     after the consumer acknowledged the command that let go of it.
//   - The consumer (the backend's audio thread, or the owner itself while no
//     backend renders) applies commands and renders. It never allocates,
//     locks or waits; positions, ends and the applied sequence number go back
//     through atomics.
//
// Sound path of one voice, per block:
//
//   SlotBuffer frames (device layout, the sample's own rate)
//        | copy (step 1.0, the sample reaches the output bit for bit)
//        | or cubic interpolation (any other step)
//        v
//   scratch --(gain ramp, per frame, while a level change settles)-->
//        --(kernel: (s x G) >> 15, saturating add)--> block
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/mixer/MixKernels.h"
#include "audio/output/BlockSequencer.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

// One slot's sound as the engine reads it: frames in the device's layout at
// `rate` frames per second. Static buffers hold the whole sample; streaming
// buffers are a ring the owner refills (Service) and the engine drains.
// Immutable while published, except the ring's counters.
struct SlotBuffer {
    PcmLayout layout = PcmLayout::None;
    std::uint32_t frameBytes = 0;
    std::uint32_t rate = 0;
    bool streaming = false;
    std::vector<std::uint8_t> frames;  // static: the sample; streaming: the ring
    std::uint32_t frameCount = 0;      // static: frames in the sample; streaming: ring capacity
    // Streaming only, in frames since the ring was made.
    std::atomic<std::uint64_t> written{0};           // written: owner; read: audio
    mutable std::atomic<std::uint64_t> consumed{0};  // written: audio; read: owner
    // Where the source ended (non-looping), or all ones while it has not.
    std::atomic<std::uint64_t> endFrame{~std::uint64_t{0}};  // written: owner; read: audio
};

struct EngineCommand {
    enum Kind : std::uint8_t {
        kPlay,         // buffer, frame (-1 keeps the cursor), loop, gains/step when flagged
        kStop,         // instance, or all of the slot's voices with kAllInstances
        kSetGains,     // gains, ramped while playing
        kSetStep,      // step
        kSetPosition,  // frame
        kDetach,       // every voice of the slot stops and forgets its buffer
        kStopAll,
        kAttach,        // the slot's voices take the buffer, silent
        kSetSequencer,  // sequencer, meteredSlots
    };
    static constexpr std::uint8_t kAllInstances = 0xFF;

    Kind kind = kStop;
    std::uint8_t slot = 0;
    std::uint8_t instance = 0;
    bool loop = false;
    bool hasGains = false;
    bool hasStep = false;
    std::uint32_t seq = 0;  // set by Push
    const SlotBuffer* buffer = nullptr;
    std::int64_t frame = -1;
    int gainLeft = kFullGain;
    int gainRight = kFullGain;
    std::uint64_t step = std::uint64_t{1} << 32;  // buffer frames per output frame, 32.32
    BlockSequencer* sequencer = nullptr;
    std::uint64_t meteredSlots = 0;
};

class OutputEngine final : private VoiceControl {
  public:
    static constexpr int kSlots = 60;
    static constexpr int kInstances = 4;
    static constexpr std::uint32_t kRingCommands = 4096;
    static constexpr std::uint32_t kMaxBlockFrames = 2048;
    // 16-bit voices are added this many at a time, each from its own part of
    // the scratch or in place from its buffer.
    static constexpr std::size_t kBatch = 8;
    static constexpr std::uint32_t kRampMs = 4;
    static constexpr std::uint32_t kMinRate = 1000;
    static constexpr std::uint32_t kMaxRate = 384000;
    static constexpr std::uint64_t kUnitStep = std::uint64_t{1} << 32;

    explicit OutputEngine(const MixKernels& kernels);
    OutputEngine(const OutputEngine&) = delete;
    OutputEngine& operator=(const OutputEngine&) = delete;

    // Owner thread, while nothing renders: takes the device format (one of
    // the four PCM layouts, kMinRate..kMaxRate), sizes the scratch blocks and
    // silences every voice. Returns false for any other format.
    bool Configure(const WAVEFORMATEX& format);
    const WAVEFORMATEX& Format() const { return m_format; }

    // Owner thread: queues a command and returns its sequence number, or 0
    // when the ring is full (nothing queued).
    std::uint32_t Push(EngineCommand command);
    // The last sequence number applied by the consumer. Any thread.
    std::uint32_t AppliedSeq() const { return m_appliedSeq.load(std::memory_order_acquire); }

    // Consumer: applies every queued command.
    void ApplyCommands();
    // Consumer: applies queued commands, then fills `bytes` bytes of the
    // device format (whole frames; a partial frame at the end is silence).
    void Render(std::uint8_t* out, std::uint32_t bytes);
    // Static trampoline for OutputBackend::RenderFn.
    static void RenderCallback(void* engine, std::uint8_t* out, std::uint32_t bytes);

    // Published state of one voice. Any thread.
    struct VoiceReport {
        std::uint32_t frame;     // cursor: frames of its buffer
        std::uint32_t endedSeq;  // sequence of the Play whose sound ran out
    };
    VoiceReport Report(int slot, int instance) const;
    // The largest absolute sample (16-bit scale) since the last call.
    std::uint32_t TakePeak() { return m_peak.exchange(0, std::memory_order_acq_rel); }
    // Blocks in which a streaming voice ran dry before its end.
    std::uint64_t Underruns() const { return m_underruns.load(std::memory_order_relaxed); }
    // Frames rendered since Configure. Any thread.
    std::uint64_t FramesRendered() const { return m_pubFrames.load(std::memory_order_acquire); }

  private:
    struct Voice {
        const SlotBuffer* buffer = nullptr;
        bool playing = false;
        bool loop = false;
        std::uint32_t playSeq = 0;
        std::uint64_t pos = 0;  // 32.32 frames of the buffer
        std::uint64_t step = kUnitStep;
        std::int64_t gainLeft = std::int64_t{kFullGain} << 16;  // Q16 while ramping
        std::int64_t gainRight = std::int64_t{kFullGain} << 16;
        int targetLeft = kFullGain;
        int targetRight = kFullGain;
        std::int64_t deltaLeft = 0;
        std::int64_t deltaRight = 0;
        std::uint32_t rampLeft = 0;  // frames still ramping
    };

    // VoiceControl, for the sequencer inside Render.
    bool StartVoice(int slot, std::uint32_t frame, int volume, int pan) override;
    void StopVoice(int slot) override;
    void SetVoiceLevels(int slot, int volume, int pan) override;
    std::uint32_t VoiceFrames(int slot) const override;
    bool VoicePlaying(int slot) const override;
    std::uint32_t RampFrames() const override { return m_rampFrames; }

    void SetGains(Voice& v, int left, int right);
    // The order voices are added in: the order of their last start, as the
    // software mixer adds its playing voices.
    void Sound(int slot, int instance);
    void Silence(int slot, int instance);
    void Measure(int slot, const std::uint8_t* samples, std::uint32_t frames, int gainLeft,
                 int gainRight);
    void Apply(const EngineCommand& c);
    void Publish(int slot, int instance);
    void End(int slot, int instance);
    void RenderBlock(std::uint8_t* out, std::uint32_t frames);
    // Fills scratch with `frames` frames of the voice; returns false when the
    // voice ended in this block. Unfilled frames are silence.
    bool Produce(Voice& v, std::uint8_t* scratch, std::uint32_t frames);
    // The next `frames` frames of a voice that plays a static buffer at its
    // own rate without a level ramp, in place, when they neither end nor
    // wrap in this block (the voice moves on); null otherwise.
    const std::uint8_t* InPlace(Voice& v, std::uint32_t frames);
    bool ProduceDirect(Voice& v, std::uint8_t* scratch, std::uint32_t frames);
    bool ProduceInterpolated(Voice& v, std::uint8_t* scratch, std::uint32_t frames);
    void ApplyRamp(Voice& v, std::uint8_t* scratch, std::uint32_t frames);

    const MixKernels& m_kernels;
    WAVEFORMATEX m_format;
    PcmLayout m_layout = PcmLayout::None;
    std::uint32_t m_channels = 0;
    std::uint32_t m_frameBytes = 0;
    std::uint32_t m_rampFrames = 1;
    std::vector<std::uint8_t> m_scratch;  // written and read: consumer

    std::array<std::array<Voice, kInstances>, kSlots> m_voices;  // consumer only
    // Sounding voices (slot x kInstances + instance) in the order of their
    // last start. Consumer only.
    std::array<std::uint16_t, std::size_t{kSlots} * kInstances> m_order{};
    std::uint32_t m_orderCount = 0;
    BlockSequencer* m_sequencer = nullptr;  // consumer only
    std::uint64_t m_metered = 0;            // consumer only
    std::array<SlotMeter, kSlots> m_meters{};
    std::uint64_t m_frame = 0;                  // consumer only: frames rendered since Configure
    std::atomic<std::uint64_t> m_pubFrames{0};  // written: consumer; read: any

    // Command ring. m_tail written: owner; m_head written: consumer.
    std::vector<EngineCommand> m_ring;
    std::atomic<std::uint32_t> m_head{0};
    std::atomic<std::uint32_t> m_tail{0};
    std::uint32_t m_nextSeq = 0;  // owner only

    // written: consumer; read: owner.
    std::atomic<std::uint32_t> m_appliedSeq{0};
    std::array<std::array<std::atomic<std::uint32_t>, kInstances>, kSlots> m_pubFrame{};
    std::array<std::array<std::atomic<std::uint32_t>, kInstances>, kSlots> m_pubEnded{};
    std::atomic<std::uint32_t> m_peak{0};
    std::atomic<std::uint64_t> m_underruns{0};

    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
    static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
};

}  // namespace tamboro::audio
