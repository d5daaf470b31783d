// tamboro-demosong LOOPS OUT.tbo: arranges the demo loop library into a song
// of 64 bars at 120 BPM with a recorded mix that builds up and breaks down.
//
// The arrangement is written as bar numbers; one bar at 120 BPM is 2000 ms.
// Every loop starts on a bar that is a multiple of its own length, so it
// starts at its beginning, in phase with the song.
#include <cstdio>
#include <string>
#include <vector>

#include "audio/wave/Levels.h"
#include "engine/Song.h"
#include "platform/Messages.h"

namespace {

using namespace tamboro;
using engine::MixEvent;

constexpr std::uint32_t kBarMs = 2000;
// Added to every channel level of the plan: the mix peaks a little above
// -1.5 dBFS with it.
constexpr int kLift = 400;

struct ChannelPlan {
    const char* file;
    bool effect;
    int volume;  // attenuation at rest
    int pan;
    // Bars the channel is switched on and off, in pairs.
    std::vector<std::pair<int, int>> spans;
};

// The song, channel by channel.
const std::vector<ChannelPlan>& Plan() {
    static const std::vector<ChannelPlan> plan = {
        /* 0 */ {"kick_four.wav", false, -1700, 0, {{8, 24}, {28, 48}, {56, 64}}},
        /* 1 */ {"kick_broken.wav", false, -1900, 0, {{24, 28}, {52, 56}}},
        /* 2 */ {"snare_backbeat.wav", false, -2300, 300, {{16, 48}}},
        /* 3 */ {"clap_backbeat.wav", false, -2400, -300, {{24, 48}, {56, 64}}},
        /* 4 */ {"hats_closed.wav", false, -2700, 1500, {{4, 48}, {52, 64}}},
        /* 5 */ {"hats_open.wav", false, -2900, -1500, {{16, 24}, {32, 48}, {56, 64}}},
        /* 6 */ {"shaker_swing.wav", false, -3000, 2500, {{40, 56}}},
        /* 7 */ {"perc_congas.wav", false, -2800, -2500, {{32, 48}, {56, 62}}},
        /* 8 */ {"perc_clave.aif", false, -3000, 2000, {{24, 32}, {40, 48}}},
        /* 9 */ {"snare_roll.wav", false, -2600, 0, {{15, 16}, {47, 48}, {55, 56}}},
        /* 10 */ {"bass_sub.wav", false, -1800, 0, {{8, 16}, {48, 56}}},
        /* 11 */ {"bass_acid.wav", false, -2300, 0, {{16, 48}, {56, 64}}},
        /* 12 */ {"pad_warm.wav", false, -2700, -800, {{16, 32}, {56, 64}}},
        /* 13 */ {"pad_strings.aif", false, -2400, 800, {{0, 16}, {40, 56}}},
        /* 14 */ {"chords_stab.wav", false, -2700, 1000, {{24, 40}, {56, 64}}},
        /* 15 */ {"arp_pluck.wav", false, -3000, -1200, {{32, 48}}},
        /* 16 */ {"arp_bell.aif", false, -3100, 1200, {{4, 16}, {48, 56}}},
        /* 17 */ {"lead_saw.wav", false, -2700, 0, {{32, 48}, {56, 64}}},
        /* 18 */ {"fx_riser.au", true, -2600, 0, {{12, 16}, {52, 56}}},
        /* 19 */ {"fx_hit.wav", true, -2200, 0, {{16, 18}, {56, 58}}},
    };
    return plan;
}

MixEvent Event(double bar, std::uint32_t kind, int ch, int value) {
    return {static_cast<std::uint32_t>(bar * kBarMs), kind, static_cast<std::uint32_t>(ch),
            static_cast<std::uint32_t>(value), 0};
}

// The moves on top of the switches: the master fades in and out, the lead
// sweeps across, the breakdown dips.
std::vector<MixEvent> Moves() {
    std::vector<MixEvent> moves;
    // Master: from quiet into full level over the intro.
    for (int step = 0; step <= 8; ++step) {
        moves.push_back(Event(step, engine::kMasterVolume, 0, -1600 + step * 200));
    }
    // The breakdown at bar 48 sits back a little, then comes up again.
    moves.push_back(Event(48, engine::kMasterVolume, 0, -300));
    moves.push_back(Event(54, engine::kMasterVolume, 0, -150));
    moves.push_back(Event(56, engine::kMasterVolume, 0, 0));
    // Fade out over the last four bars.
    for (int step = 1; step <= 8; ++step) {
        moves.push_back(Event(60 + step * 0.5, engine::kMasterVolume, 0, -step * 400));
    }
    // The lead wanders from left to right and back.
    for (int step = 0; step <= 16; ++step) {
        const int pan = step <= 8 ? -2000 + step * 500 : 2000 - (step - 8) * 500;
        moves.push_back(Event(32 + step, engine::kPan, 17, pan));
    }
    // The acid bass opens up towards the first drop's end.
    for (int step = 0; step <= 4; ++step) {
        moves.push_back(Event(40 + step * 2, engine::kVolume, 11, -2300 + kLift + step * 150));
    }
    // The strings swell into the breakdown.
    for (int step = 0; step <= 4; ++step) {
        moves.push_back(Event(40 + step * 2, engine::kVolume, 13, -3400 + kLift + step * 250));
    }
    return moves;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamboro-demosong LOOPS OUT.tbo\n");
        return 2;
    }
    const std::string loops = argv[1];
    platform::EventLoop loop;
    engine::Song song(loop);
    song.NewSong(120.0);
    song.SetTitle("Notte in La minore");
    song.SetAuthor("Tamboro");
    song.SetMixedBy("Tamboro");
    song.SetNotes(
        "Il brano dimostrativo di Tamboro: 64 battute a 120 BPM in La minore.\n"
        "Intro con archi e campane, primo drop alla battuta 16, melodia alla 32,\n"
        "pausa alla 48 e ripresa finale alla 56.");
    song.SetInitialMasterVolume(0);

    const auto& plan = Plan();
    for (int ch = 0; ch < static_cast<int>(plan.size()); ++ch) {
        const ChannelPlan& p = plan[ch];
        const auto report = song.LoadLoop(ch, loops + "/" + p.file, p.effect);
        if (!report.Ok()) {
            std::fprintf(stderr, "tamboro-demosong: cannot load %s (file %d, song %d)\n", p.file,
                         audio::ToInt(report.fileResult), engine::ToInt(report.songResult));
            return 1;
        }
        song.SetInitialVolume(ch, p.volume + kLift);
        song.SetInitialPan(ch, p.pan);
    }

    // The recording starts from the levels at rest, as a recording does.
    std::vector<MixEvent> events;
    events.push_back(Event(0, engine::kMasterVolume, 0, song.GetInitialMasterVolume()));
    for (int ch = 0; ch < static_cast<int>(plan.size()); ++ch) {
        events.push_back(Event(0, engine::kVolume, ch, plan[ch].volume + kLift));
        events.push_back(Event(0, engine::kPan, ch, plan[ch].pan));
        for (const auto& [on, off] : plan[ch].spans) {
            events.push_back(Event(on, engine::kChannelOn, ch, 0));
            events.push_back(Event(off, engine::kChannelOff, ch, 0));
        }
    }
    for (const MixEvent& e : Moves())
        events.push_back(e);
    for (const MixEvent& e : events) {
        engine::InsertEvent(
            (*song.Events(e.kind == engine::kMasterVolume ? 0 : static_cast<int>(e.channel))), e);
    }
    const engine::SongResult result = song.SaveSong(argv[2], 0, nullptr);
    if (result != engine::SongResult::Ok) {
        std::fprintf(stderr, "tamboro-demosong: %s (code %d)\n",
                     engine::SongResultMessage(result).c_str(), engine::ToInt(result));
        return 1;
    }
    return 0;
}
