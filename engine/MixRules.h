#pragma once
// What a recorded event does to the voices of a mix, written once for the
// two places that play a mix: the live sequencer inside the audio callback
// and the mixdown stream. Both keep the same running levels and call the
// same voice operations, so a take renders as it was heard.
//
//   ChannelOn      start the channel's loop at (mix frame mod loop frames),
//                  an effect at its first frame; looping
//   ChannelOff     stop it
//   Volume         the channel's volume; its attenuation is volume + master
//   Pan            the channel's pan
//   MasterVolume   the master; every channel's attenuation follows
//
// Stored values are kept as the event carries them; only the attenuation
// handed to a voice is limited to -10000..0 (the software mixer's range).
#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/SongTypes.h"

namespace tamboro::engine {

struct MixLevels {
    std::array<int, kChannelCount> volume{};
    std::array<int, kChannelCount> pan{};
    int master = 0;

    int Attenuation(int ch) const {
        return std::clamp(volume[static_cast<std::size_t>(ch)] + master, -10000, 0);
    }
};

// Voices: bool IsEffect(int ch); std::uint32_t LoopFrames(int ch);
//         void Start(int ch, std::uint32_t startFrame, int attenuation, int pan);
//         void Stop(int ch); void Levels(int ch, int attenuation, int pan).
// `mixFrame` is the frame of the mix the event takes effect at.
template <typename Voices>
void ApplyMixEvent(const MixEvent& e, std::uint64_t mixFrame, MixLevels& levels, Voices& voices) {
    if (e.channel >= static_cast<std::uint32_t>(kChannelCount)) return;
    const int ch = static_cast<int>(e.channel);
    const auto c = static_cast<std::size_t>(ch);
    switch (e.kind) {
        case kChannelOn: {
            const std::uint32_t frames = voices.LoopFrames(ch);
            if (frames == 0) break;
            const auto start =
                voices.IsEffect(ch) ? 0u : static_cast<std::uint32_t>(mixFrame % frames);
            voices.Start(ch, start, levels.Attenuation(ch), levels.pan[c]);
            break;
        }
        case kChannelOff:
            voices.Stop(ch);
            break;
        case kVolume:
            levels.volume[c] = static_cast<int>(e.value);
            voices.Levels(ch, levels.Attenuation(ch), levels.pan[c]);
            break;
        case kPan:
            levels.pan[c] = static_cast<int>(e.value);
            voices.Levels(ch, levels.Attenuation(ch), levels.pan[c]);
            break;
        case kMasterVolume:
            levels.master = static_cast<int>(e.value);
            for (int other = 0; other < kChannelCount; ++other)
                voices.Levels(other, levels.Attenuation(other), levels.pan[other]);
            break;
        default:
            break;
    }
}

// An event's kind selects a level (applied before the switches of the same
// frame, so that a voice starts at its new level instead of ramping to it).
constexpr bool IsLevelKind(std::uint32_t kind) {
    return kind == kVolume || kind == kPan || kind == kMasterVolume;
}

}  // namespace tamboro::engine
