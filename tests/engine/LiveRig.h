#pragma once
// A song on a real output device whose engine renders only when a test asks
// (ManualBackend: no threads), with what it renders captured, and the rules
// a take is checked by: E(t), the ramp windows, the render of the mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "audio/output/OutputBackend.h"
#include "audio/output/OutputDevice.h"
#include "audio/wave/Wave.h"
#include "engine/LoopFitting.h"
#include "engine/Song.h"
#include "platform/Messages.h"
#include "tests/support/TestSupport.h"

namespace tamboro::engine::test {

struct LiveCase {
    std::uint32_t rate;
    std::uint16_t bits;
    std::uint16_t channels;
    double tempo;
};

inline std::string LiveCaseName(const ::testing::TestParamInfo<LiveCase>& info) {
    const LiveCase& c = info.param;
    return std::to_string(c.rate) + "Hz" + std::to_string(c.bits) + "bit" +
           (c.channels == 2 ? "Stereo" : "Mono") + std::to_string(static_cast<int>(c.tempo)) +
           "Bpm";
}

// A loop whose every frame differs from its neighbours, small enough that
// a few of them add up without saturating: frame k holds
// ((k x 7 + seed) mod 4001) - 2000 on the left and the negated value
// (plus the seed) on the right, at 16 bits; the 8-bit form is the high byte.
inline std::unique_ptr<audio::Wave> PatternLoop(const audio::WAVEFORMATEX& format,
                                                std::uint32_t frames, int seed) {
    auto wave = std::make_unique<audio::Wave>();
    if (!wave->Create(format, frames)) return nullptr;
    std::uint8_t* p = wave->Data();
    for (std::uint32_t k = 0; k < frames; ++k) {
        const int left = static_cast<int>((k * 7 + static_cast<std::uint32_t>(seed)) % 4001) - 2000;
        const int values[2] = {left, -left + seed};
        for (int c = 0; c < format.nChannels; ++c) {
            if (format.wBitsPerSample == 8) {
                *p++ = static_cast<std::uint8_t>((values[c] >> 8) + 128);
            } else {
                const auto s = static_cast<std::int16_t>(values[c]);
                std::memcpy(p, &s, 2);
                p += 2;
            }
        }
    }
    return wave;
}

// E(t): the frame of the mix an event of time `ms` belongs at.
inline std::uint64_t EventFrame(std::uint64_t ms, std::uint32_t rate, std::uint32_t frameBytes) {
    const std::uint64_t k = 8 / frameBytes;
    return ms * rate / 1000 / k * k;
}

// Frames of the mix axis [0, to) that a level event's ramp may make differ
// from the render: [E(t), E(t) + max(1, rate x 4 / 1000)) of every level
// event that reaches a channel sounding at E(t).
inline std::vector<bool> RampWindows(const SongDocument& doc, std::uint32_t rate,
                                     std::uint32_t frameBytes, std::uint64_t to) {
    const std::uint32_t ramp = std::max<std::uint32_t>(1, rate * 4 / 1000);
    std::vector<bool> window(to, false);
    std::array<bool, kChannelCount> on{};
    const auto events = doc.MergedEvents();
    const auto E = [&](std::uint32_t t) { return EventFrame(t, rate, frameBytes); };
    // Switches apply after the levels of their frame.
    std::size_t sw = 0;
    for (const MixEvent& e : events) {
        const std::uint64_t at = E(e.time);
        for (; sw < events.size() && E(events[sw].time) < at; ++sw) {
            if (events[sw].kind == kChannelOn) on[events[sw].channel] = true;
            if (events[sw].kind == kChannelOff) on[events[sw].channel] = false;
        }
        bool reaches = false;
        if (e.kind == kMasterVolume) {
            reaches = std::find(on.begin(), on.end(), true) != on.end();
        } else if (e.kind == kVolume || e.kind == kPan) {
            reaches = on[e.channel];
        }
        if (!reaches) continue;
        for (std::uint64_t f = at; f < at + ramp && f < to; ++f)
            window[f] = true;
    }
    return window;
}

// Compares `live` (frames of the mix axis from `liveFrom`) with `render`
// (from frame 0) over [from, to), outside the ramp windows of `doc`.
// Returns the number of frames compared; reports the first difference.
inline std::uint64_t CompareOutsideRamps(const SongDocument& doc, std::uint32_t rate,
                                         std::uint32_t fb, const std::vector<std::uint8_t>& live,
                                         std::uint64_t liveFrom,
                                         const std::vector<std::uint8_t>& render,
                                         std::uint64_t from, std::uint64_t to) {
    const auto windows = RampWindows(doc, rate, fb, to);
    std::uint64_t compared = 0;
    for (std::uint64_t f = from; f < to; ++f) {
        if (windows[f]) continue;
        const std::size_t l = static_cast<std::size_t>((f - liveFrom) * fb);
        const std::size_t r = static_cast<std::size_t>(f * fb);
        if (l + fb > live.size() || r + fb > render.size()) {
            ADD_FAILURE() << "frame " << f << " missing: live " << live.size() / fb << " render "
                          << render.size() / fb;
            return compared;
        }
        if (std::memcmp(live.data() + l, render.data() + r, fb) != 0) {
            ADD_FAILURE() << "frame " << f << " differs (of " << to << ")";
            return compared;
        }
        ++compared;
    }
    return compared;
}

// `song`'s mix rendered to the WAV file `path` in `format`: its samples.
inline std::vector<std::uint8_t> MixdownSamples(Song& song, const std::string& path,
                                                const audio::WAVEFORMATEX& format) {
    EXPECT_EQ(song.SaveSong(path, Song::kSaveMixdown, &format), SongResult::Ok);
    audio::Wave wave;
    if (audio::LoadWave(wave, path, audio::kTypeWav | audio::kLoadCopy) != audio::SoundResult::Ok)
        return {};
    EXPECT_EQ(*wave.Format(), format);
    return {wave.Data(), wave.Data() + wave.DataBytes()};
}

class LiveRig {
  public:
    explicit LiveRig(const LiveCase& c) : m_case(c) {
        ::setenv("TMPDIR", temp.Path().c_str(), 1);
        auto backend = std::make_unique<audio::ManualBackend>();
        m_backend = backend.get();
        device = std::make_unique<audio::OutputDevice>(std::move(backend));
        audio::MakePcmFormat(format, c.rate, c.bits, c.channels);
        device->SetWindowAndFormat(format, 0);
        device->Activate(1);
        song = std::make_unique<Song>(loop);
        song->AttachDevice(device.get());
        song->NewSong(c.tempo);
        // The default block of the device: what the program asks for.
        block = std::max<std::uint32_t>(64, c.rate * audio::OutputDevice::kWantedBufferMs / 1000);
    }
    ~LiveRig() {
        song.reset();
        device.reset();
        ::unsetenv("TMPDIR");
    }

    std::uint32_t Bar() const { return SamplesPerBar(m_case.rate, m_case.tempo); }
    std::uint32_t FrameBytes() const { return format.nBlockAlign; }
    // k: frames per 8-byte block of the mixdown.
    std::uint64_t K() const { return 8 / format.nBlockAlign; }
    std::uint64_t E(std::uint64_t ms) const { return ms * m_case.rate / 1000 / K() * K(); }
    std::uint32_t Ramp() const { return std::max<std::uint32_t>(1, m_case.rate * 4 / 1000); }

    void Load(int ch, std::uint32_t frames, bool effect, int seed) {
        auto wave = PatternLoop(format, frames, seed);
        ASSERT_TRUE(wave);
        ASSERT_EQ(song->ReplaceChannel(ch, wave.get(), effect), SongResult::Ok);
        // Levels at rest and live: full, centred.
        song->SetInitialVolume(ch, 0);
        song->SetChannelVolume(ch, 0);
    }

    // Renders `blocks` device blocks; with capturing on, keeps them.
    void Render(int blocks = 1) {
        for (int b = 0; b < blocks; ++b) {
            const std::uint64_t first = device->FramesRendered();
            auto bytes = m_backend->Render(block);
            if (capturing) {
                if (captured.empty()) captureStart = first;
                captured.insert(captured.end(), bytes.begin(), bytes.end());
            }
            if (polling) song->PollLive();
        }
    }
    // Renders up to (not including) device frame `frame` in one call.
    void RenderTo(std::uint64_t frame) {
        const std::uint64_t now = device->FramesRendered();
        if (frame <= now) return;
        const std::uint64_t first = now;
        auto bytes = m_backend->Render(static_cast<std::uint32_t>(frame - now));
        if (capturing) {
            if (captured.empty()) captureStart = first;
            captured.insert(captured.end(), bytes.begin(), bytes.end());
        }
        if (polling) song->PollLive();
    }
    std::uint64_t Now() const { return device->FramesRendered(); }

    // The song's mix rendered to a WAV file in the device format: its samples.
    std::vector<std::uint8_t> Mixdown() {
        return MixdownSamples(*song, temp.File("render.wav"), format);
    }

    std::vector<bool> RampWindows(const SongDocument& doc, std::uint64_t to) const {
        return test::RampWindows(doc, m_case.rate, FrameBytes(), to);
    }
    std::uint64_t CompareWithRender(const std::vector<std::uint8_t>& live, std::uint64_t liveFrom,
                                    const std::vector<std::uint8_t>& render, std::uint64_t from,
                                    std::uint64_t to) const {
        return CompareOutsideRamps(song->Document(), m_case.rate, FrameBytes(), live, liveFrom,
                                   render, from, to);
    }

    tamboro::test::TempDir temp;
    platform::EventLoop loop;
    audio::WAVEFORMATEX format;
    std::unique_ptr<audio::OutputDevice> device;
    std::unique_ptr<Song> song;
    std::uint32_t block = 0;
    bool capturing = false;
    // Off: what the audio thread reports waits in its queue (as it does
    // between two ticks of the console).
    bool polling = true;
    std::vector<std::uint8_t> captured;
    std::uint64_t captureStart = 0;

  private:
    LiveCase m_case;
    audio::ManualBackend* m_backend = nullptr;
};

}  // namespace tamboro::engine::test
