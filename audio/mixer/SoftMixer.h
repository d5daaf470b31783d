#pragma once
// The software mixer: a pull mixer that sums any number of playing voices,
// each a Wave with its own attenuation and pan, into PCM of one fixed output
// format. The song mixdown and the console's level meters use it.
//
// Each voice reads its wave through a byte stream that delivers the mixer's
// output format; the kernels (audio/MixKernels.h) only ever see that
// format. Plain kernels, or SSE2/AVX2 twins with the same bytes, chosen once
// when the mixer is made.
//
// Threads: the voice lists and every voice's play state are guarded by one
// recursive lock. Mix does not take it; a caller that mixes on one thread
// while another starts or stops voices holds Lock() around Mix.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/mixer/MixKernels.h"
#include "audio/wave/ByteStream.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class MemoryStream;
class Wave;
class SoftMixer;

class MixVoice {
  public:
    // Use SoftMixer::CreateVoice.
    MixVoice(Wave* wave, bool ownsWave, SoftMixer& mixer);
    // Stops, leaves the mixer's lists, deletes the wave when owned.
    ~MixVoice();
    MixVoice(const MixVoice&) = delete;
    MixVoice& operator=(const MixVoice&) = delete;

    enum PlayResult : int { kStarted = 0, kRefused = 1 };
    // Starts at `startFrame` (frames of the wave); restarts a playing voice.
    // Refused when there is no wave, no samples, or startFrame >= the wave's
    // frame count; the voice then stays stopped.
    int Play(std::uint32_t startFrame, bool loop);
    int Stop();
    bool IsPlaying() const;
    // -10000..0; values above 0 become 0, below -10000 become -10000.
    int SetAttenuation(int attenuation);
    // -10000..+10000, clamped.
    int SetPan(int pan);
    int Attenuation() const { return m_attenuation; }
    int Pan() const { return m_pan; }
    Wave* GetWave() const { return m_wave; }
    // Whether a conversion chain to the mixer's format could be built for the
    // wave (without one the voice delivers nothing).
    bool HasSource() const { return m_source != nullptr; }

  private:
    friend class SoftMixer;
    void UpdateGains();
    // Fills scratch[0..n) for one block; false when nothing at all came in.
    bool Fill(std::uint32_t n, std::uint8_t silence);
    // The next n bytes of the voice, as Fill delivers them: in place in the
    // wave when its samples need no conversion and the block neither reaches
    // past the end nor wraps, else in the scratch (valid until the next call).
    const std::uint8_t* Next(std::uint32_t n, std::uint8_t silence);

    Wave* m_wave;
    int m_attenuation = 0;
    int m_pan = 0;
    StereoGains m_gains{kFullGain, kFullGain};
    int m_monoGain = kFullGain;
    // The playing list is intrusive so that a voice that ends inside a
    // kernel leaves it without freeing memory.
    MixVoice* m_prev = nullptr;
    MixVoice* m_next = nullptr;
    bool m_inPlaying = false;
    SoftMixer& m_mixer;
    bool m_ownsWave;
    bool m_loop = false;
    std::vector<std::uint8_t> m_scratch;
    std::unique_ptr<ByteStream> m_source;
    // The wave's samples and the stream over them when m_source reads them
    // unconverted (null otherwise).
    const std::uint8_t* m_samples = nullptr;
    MemoryStream* m_memory = nullptr;
};

class SoftMixer {
  public:
    static constexpr std::uint32_t kDefaultLatencyMs = 45;

    // Copies the format (PCM; a format without one of the four PCM layouts
    // mixes nothing). `useSimd` allows the SSE2/AVX2 kernels.
    SoftMixer(const WAVEFORMATEX& format, bool useSimd);
    // Destroys every voice still registered.
    ~SoftMixer();
    SoftMixer(const SoftMixer&) = delete;
    SoftMixer& operator=(const SoftMixer&) = delete;

    // A new stopped voice playing `wave`; owned by the mixer until
    // DestroyVoice or the mixer's end. With `ownsWave` the voice deletes the
    // wave.
    MixVoice* CreateVoice(Wave* wave, bool ownsWave);
    void DestroyVoice(MixVoice* voice);

    // requestedChunkBytes = nAvgBytesPerSec x ms / 1000, rounded down to a
    // multiple of 4. Returns 0.
    int SetLatency(std::uint32_t ms);
    // chunkBytes = requestedChunkBytes. Returns 0.
    int ApplyLatency();
    std::uint32_t ChunkBytes() const { return m_chunkBytes; }

    // Mixes into dest in blocks of at most chunkBytes; each block handles the
    // largest multiple of 8 bytes it is given, so 1..7 trailing bytes stay
    // untouched. Returns the bytes produced.
    std::uint32_t Mix(void* dest, std::uint32_t bytes);

    std::recursive_mutex& Lock() { return m_lock; }
    const WAVEFORMATEX& Format() const { return m_format; }
    PcmLayout Layout() const { return m_layout; }
    const MixKernels& Kernels() const { return *m_kernels; }
    std::size_t VoiceCount() const { return m_voices.size(); }
    std::size_t PlayingCount() const;

  private:
    friend class MixVoice;
    std::uint32_t MixBlock(std::uint8_t* dest, std::uint32_t bytes);
    void AppendPlaying(MixVoice* v);
    void RemovePlaying(MixVoice* v);

    std::vector<std::unique_ptr<MixVoice>> m_voices;
    MixVoice* m_playingHead = nullptr;
    MixVoice* m_playingTail = nullptr;
    WAVEFORMATEX m_format;
    PcmLayout m_layout;
    std::uint32_t m_chunkBytes = 0;
    std::uint32_t m_requestedChunkBytes = 0;
    const MixKernels* m_kernels;
    std::recursive_mutex m_lock;
};

}  // namespace tamboro::audio
