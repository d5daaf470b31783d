#include "tools/synth/Loops.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "tools/synth/Instruments.h"

namespace tamboro::synth {

namespace {

// ---------------------------------------------------------------------------
// Time and harmony

// Positions on the sixteenth-note grid of a bus.
class Grid {
  public:
    explicit Grid(const Bus& bus) : m_bar(FramesPerBar(static_cast<std::uint32_t>(bus.Rate()))) {}
    // Frame of sixteenth `step` (may be fractional, for swing) of `bar`.
    std::int64_t At(int bar, double step) const {
        return std::llround((bar * 16.0 + step) * m_bar / 16.0);
    }
    // Frames of `steps` sixteenths.
    std::int64_t Steps(double steps) const { return std::llround(steps * m_bar / 16.0); }
    double StepSeconds(double rate) const { return m_bar / 16.0 / rate; }

  private:
    double m_bar;
};

struct Chord {
    int root;   // bass register root (A2 = 45)
    int third;  // semitones from root to the chord's third
    std::array<int, 4> voicing;
};

// Am7 - Fmaj7 - C - G, one bar each, voiced to move by small steps.
constexpr std::array<Chord, 4> kProgression = {{
    {45, 3, {57, 60, 64, 67}},  // A minor 7: A C E G
    {41, 4, {53, 57, 60, 64}},  // F major 7: F A C E
    {48, 4, {55, 60, 64, 67}},  // C major:   G C E G
    {43, 4, {55, 59, 62, 67}},  // G major:   G B D G
}};

const Chord& ChordOfBar(int bar) {
    return kProgression[static_cast<std::size_t>(bar % 4)];
}

// Slight random velocity spread, so repeated hits do not sound machine-cut.
double Humanise(Rng& rng, double velocity, double amount = 0.08) {
    return velocity * (1.0 - amount + amount * rng.Uniform());
}

// Sends a copy of `send` through a reverb as if the loop had been playing,
// and mixes the wet result into `bus`.
void AddReverb(Bus& bus, Bus& send, double size, double damping, double level) {
    Reverb reverb(bus.Rate(), size, damping);
    ProcessLooped(send, 1.0 + 4.0 * size, reverb);
    bus.Mix(send, level);
}

void AddDelay(Bus& bus, Bus& send, double seconds, double feedback, double level, bool pingPong) {
    StereoDelay delay(bus.Rate(), seconds, feedback, 0.35, pingPong);
    const double tail = seconds * std::log(1e-4) / std::log(std::max(feedback, 0.01));
    ProcessLooped(send, tail, delay);
    bus.Mix(send, level);
}

// A copy of `bus` for an effect send.
Bus SendOf(const Bus& bus) {
    return bus;
}

// ---------------------------------------------------------------------------
// Drums and percussion

void KickFour(Bus& bus, Rng& rng) {
    Grid g(bus);
    KickSound kick;
    for (int step = 0; step < 16; step += 4)
        Kick(bus, g.At(0, step), 1.0, kick, rng);
}

void KickBroken(Bus& bus, Rng& rng) {
    Grid g(bus);
    KickSound kick;
    kick.decayTau = 0.12;
    kick.startHz = 190.0;
    kick.endHz = 52.0;
    constexpr std::array<std::pair<int, double>, 7> kHits = {
        {{0, 1.0}, {7, 0.55}, {10, 0.9}, {16, 1.0}, {19, 0.7}, {24, 0.9}, {30, 0.5}}};
    for (auto [step, vel] : kHits)
        Kick(bus, g.At(0, step), vel, kick, rng);
}

void SnareBackbeat(Bus& bus, Rng& rng) {
    Grid g(bus);
    Snare(bus, g.At(0, 4), 1.0, 0.0, rng);
    Snare(bus, g.At(0, 12), 1.0, 0.0, rng);
    Snare(bus, g.At(0, 7), 0.18, 0.1, rng);
    Snare(bus, g.At(0, 15), 0.22, -0.1, rng);
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.3, 0.5, 0.6);
}

void ClapBackbeat(Bus& bus, Rng& rng) {
    Grid g(bus);
    for (int bar = 0; bar < 2; ++bar) {
        Clap(bus, g.At(bar, 4), Humanise(rng, 1.0), 0.0, rng);
        Clap(bus, g.At(bar, 12), Humanise(rng, 1.0), 0.0, rng);
    }
    Clap(bus, g.At(1, 14.5), 0.45, 0.0, rng);
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.45, 0.4, 0.7);
}

void HatsClosed(Bus& bus, Rng& rng) {
    Grid g(bus);
    constexpr std::array<double, 4> kAccent = {0.75, 0.4, 1.0, 0.45};
    for (int step = 0; step < 16; ++step)
        Hat(bus, g.At(0, step), Humanise(rng, kAccent[step % 4]), 0.022, 0.2, rng);
}

void HatsOpen(Bus& bus, Rng& rng) {
    Grid g(bus);
    for (int step = 2; step < 16; step += 4)
        Hat(bus, g.At(0, step), 1.0, 0.16, -0.15, rng);
}

void ShakerSwing(Bus& bus, Rng& rng) {
    Grid g(bus);
    constexpr std::array<double, 4> kAccent = {0.6, 0.35, 1.0, 0.4};
    for (int step = 0; step < 16; ++step) {
        const double swing = (step % 2 == 1) ? 0.16 : 0.0;
        Shaker(bus, g.At(0, step + swing), Humanise(rng, kAccent[step % 4]), 0.0, rng);
    }
}

void RimClave(Bus& bus, Rng& rng) {
    Grid g(bus);
    // A three-two clave over two bars, with a rim answer on the last beat.
    constexpr std::array<std::pair<int, double>, 6> kHits = {
        {{0, 1.0}, {6, 0.9}, {12, 1.0}, {20, 0.9}, {24, 1.0}, {29, 0.5}}};
    for (auto [step, vel] : kHits)
        Rim(bus, g.At(0, step), Humanise(rng, vel), 0.35, rng);
    Bus send = SendOf(bus);
    AddDelay(bus, send, g.StepSeconds(bus.Rate()) * 3.0, 0.35, 0.45, true);
}

void Congas(Bus& bus, Rng& rng) {
    Grid g(bus);
    struct Hit {
        int step;
        int note;
        double vel;
        bool slap;
        double pan;
    };
    // Tuned to the key: A3, C4 and E4.
    constexpr std::array<Hit, 13> kHits = {{
        {0, 57, 1.0, false, -0.3},
        {3, 64, 0.7, true, 0.3},
        {6, 64, 0.8, false, 0.3},
        {8, 57, 0.9, false, -0.3},
        {10, 60, 0.7, false, 0.0},
        {14, 64, 0.8, true, 0.3},
        {16, 57, 1.0, false, -0.3},
        {18, 64, 0.6, false, 0.3},
        {22, 64, 0.8, true, 0.3},
        {24, 57, 0.9, false, -0.3},
        {27, 60, 0.7, false, 0.0},
        {28, 64, 0.6, false, 0.3},
        {30, 60, 0.75, false, 0.0},
    }};
    for (const Hit& h : kHits)
        Conga(bus, g.At(0, h.step), h.note, Humanise(rng, h.vel), h.pan, h.slap, rng);
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.25, 0.5, 0.35);
}

void DrumsFull(Bus& bus, Rng& rng) {
    Grid g(bus);
    KickSound kick;
    for (int bar = 0; bar < 2; ++bar) {
        for (int beat = 0; beat < 4; ++beat)
            Kick(bus, g.At(bar, beat * 4), 1.0, kick, rng);
        Snare(bus, g.At(bar, 4), 0.75, 0.0, rng);
        Snare(bus, g.At(bar, 12), 0.75, 0.0, rng);
        for (int step = 0; step < 16; step += 2) {
            const bool open = bar == 1 && step == 14;
            Hat(bus, g.At(bar, step), Humanise(rng, step % 4 == 2 ? 0.45 : 0.3),
                open ? 0.15 : 0.025, 0.2, rng);
        }
    }
    Snare(bus, g.At(1, 15), 0.25, 0.0, rng);
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.25, 0.5, 0.3);
}

void DrumsLofi(Bus& bus, Rng& rng) {
    Grid g(bus);
    KickSound kick;
    kick.decayTau = 0.14;
    kick.drive = 2.5;
    constexpr std::array<double, 4> kKicks = {0, 10, 16, 27};
    for (double step : kKicks)
        Kick(bus, g.At(0, step), 1.0, kick, rng);
    for (int bar = 0; bar < 2; ++bar) {
        Snare(bus, g.At(bar, 4), 0.8, 0.0, rng);
        Snare(bus, g.At(bar, 12), 0.8, 0.0, rng);
        for (int step = 0; step < 16; step += 2) {
            const double swing = (step % 4 == 2) ? 0.33 : 0.0;
            Hat(bus, g.At(bar, step + swing), Humanise(rng, 0.35, 0.2), 0.03, 0.0, rng);
        }
    }
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.2, 0.7, 0.35);
}

void SnareRoll(Bus& bus, Rng& rng) {
    Grid g(bus);
    // Eighths, then sixteenths, swelling towards the next downbeat.
    for (int step = 0; step < 16; step += (step < 8 ? 2 : 1)) {
        const double vel = 0.25 + 0.75 * step / 15.0;
        Snare(bus, g.At(0, step), vel, 0.0, rng);
    }
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.35, 0.5, 0.5);
}

// ---------------------------------------------------------------------------
// Bass

void BassSub(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Triangle;
    p.subLevel = 0.9;
    p.cutoff = 420.0;
    p.resonance = 0.8;
    p.amp = {0.004, 0.35, 0.8, 0.04};
    p.drive = 0.6;
    struct Step {
        int step;
        int len;
        int interval;
    };
    constexpr std::array<Step, 6> kPattern = {
        {{0, 3, 0}, {3, 2, 0}, {6, 2, 12}, {8, 3, 0}, {11, 2, 0}, {14, 2, 7}}};
    for (int bar = 0; bar < 4; ++bar) {
        // The triangle plays the root in the second octave; its sub sine
        // an octave below carries the weight (44 to 65 Hz).
        const int root = ChordOfBar(bar).root;
        for (const Step& s : kPattern)
            PlayNote(bus, p, g.At(bar, s.step), g.Steps(s.len) - g.Steps(0.25), root + s.interval,
                     Humanise(rng, s.step % 8 == 0 ? 1.0 : 0.8, 0.05), 0.0, rng);
    }
}

void BassAcid(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Saw;
    p.cutoff = 220.0;
    p.resonance = 5.0;
    p.envOctaves = 3.2;
    p.filterEnv = {0.001, 0.11, 0.0, 0.05};
    p.amp = {0.002, 0.25, 0.75, 0.03};
    p.drive = 1.2;
    // -1 is a rest; 100 + n plays the chord's third plus n semitones.
    constexpr std::array<int, 16> kNotes = {0, 0,  12, 0,   -1, 0, 7,  12,
                                            0, -1, 12, 100, 0,  7, -1, 12};
    constexpr std::array<bool, 16> kAccent = {true,  false, true, false, false, false, true,  false,
                                              false, false, true, false, true,  false, false, true};
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& chord = ChordOfBar(bar);
        const int root = chord.root - 12;
        for (int step = 0; step < 16; ++step) {
            const int n = kNotes[static_cast<std::size_t>(step)];
            if (n < 0) continue;
            const int note = n >= 100 ? root + chord.third + 12 + (n - 100) : root + n;
            Patch q = p;
            const bool accent = kAccent[static_cast<std::size_t>(step)];
            if (accent) q.envOctaves += 0.8;
            // Slide up into the octave after a low note.
            if (n == 12 && step > 0 && kNotes[static_cast<std::size_t>(step - 1)] == 0) {
                q.glideFrom = -12.0;
                q.glideTime = 0.04;
            }
            PlayNote(bus, q, g.At(bar, step), g.Steps(0.7), note, accent ? 1.0 : 0.7, 0.0, rng);
        }
    }
    Bus send = SendOf(bus);
    AddDelay(bus, send, g.StepSeconds(bus.Rate()) * 3.0, 0.3, 0.2, true);
}

// ---------------------------------------------------------------------------
// Chords

void PadWarm(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Saw;
    p.unison = 3;
    p.detuneCents = 14.0;
    p.stereoWidth = 0.8;
    p.cutoff = 1100.0;
    p.envOctaves = 0.6;
    p.filterEnv = {0.6, 1.2, 0.3, 0.6};
    p.resonance = 0.9;
    p.amp = {0.35, 0.8, 0.8, 0.45};
    for (int bar = 0; bar < 4; ++bar) {
        for (int note : ChordOfBar(bar).voicing)
            PlayNote(bus, p, g.At(bar, 0), g.Steps(15.5), note, 0.5, 0.0, rng);
    }
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.75, 0.5, 0.8);
}

void PadStrings(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Saw;
    p.unison = 4;
    p.detuneCents = 20.0;
    p.stereoWidth = 1.0;
    p.resonance = 0.7;
    p.amp = {0.9, 1.0, 0.85, 0.5};
    for (int bar = 0; bar < 8; ++bar) {
        // The filter opens over the first half and closes over the second,
        // as one slow breath across the eight bars.
        const double breath = std::sin(kPi * (bar + 0.5) / 8.0);
        Patch q = p;
        q.cutoff = 700.0 + 2200.0 * breath * breath;
        const Chord& chord = ChordOfBar(bar);
        for (int note : chord.voicing)
            PlayNote(bus, q, g.At(bar, 0), g.Steps(16), note, 0.45, 0.0, rng);
        // Lift: the second time round an octave of the top voice joins.
        if (bar >= 4)
            PlayNote(bus, q, g.At(bar, 0), g.Steps(16), chord.voicing[3] + 12, 0.25, 0.0, rng);
    }
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.85, 0.6, 0.9);
}

void ChordStabs(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Saw;
    p.unison = 2;
    p.detuneCents = 9.0;
    p.stereoWidth = 0.6;
    p.cutoff = 500.0;
    p.envOctaves = 3.0;
    p.filterEnv = {0.001, 0.14, 0.0, 0.1};
    p.resonance = 1.4;
    p.amp = {0.002, 0.22, 0.0, 0.12};
    constexpr std::array<double, 5> kSteps = {2, 6, 10, 13, 14};
    for (int bar = 0; bar < 4; ++bar) {
        for (double step : kSteps) {
            const double vel = Humanise(rng, step == 13 ? 0.5 : 0.8, 0.06);
            for (int note : ChordOfBar(bar).voicing)
                PlayNote(bus, p, g.At(bar, step), g.Steps(0.8), note, vel, 0.0, rng);
        }
    }
    Bus delaySend = SendOf(bus);
    Bus reverbSend = SendOf(bus);
    AddDelay(bus, delaySend, g.StepSeconds(bus.Rate()) * 3.0, 0.4, 0.35, true);
    AddReverb(bus, reverbSend, 0.55, 0.5, 0.35);
}

// ---------------------------------------------------------------------------
// Arpeggios

void ArpPluck(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Saw;
    p.cutoff = 700.0;
    p.envOctaves = 3.2;
    p.keyTrack = 0.5;
    p.filterEnv = {0.001, 0.09, 0.0, 0.08};
    p.resonance = 1.6;
    p.amp = {0.002, 0.2, 0.0, 0.1};
    // Up two octaves of chord tones and back down.
    constexpr std::array<int, 16> kOrder = {0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 2, 3};
    for (int bar = 0; bar < 4; ++bar) {
        const auto& v = ChordOfBar(bar).voicing;
        for (int step = 0; step < 16; ++step) {
            const int k = kOrder[static_cast<std::size_t>(step)];
            const int note = v[static_cast<std::size_t>(k % 4)] + 12 * (k / 4);
            const double vel = Humanise(rng, step % 4 == 0 ? 0.9 : 0.65, 0.1);
            PlayNote(bus, p, g.At(bar, step), g.Steps(0.6), note, vel, step % 2 == 0 ? -0.25 : 0.25,
                     rng);
        }
    }
    Bus delaySend = SendOf(bus);
    Bus reverbSend = SendOf(bus);
    AddDelay(bus, delaySend, g.StepSeconds(bus.Rate()) * 3.0, 0.45, 0.5, true);
    AddReverb(bus, reverbSend, 0.6, 0.5, 0.3);
}

void ArpSquare(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Pulse;
    p.pulseWidth = 0.32;
    p.pwmDepth = 0.14;
    p.pwmHz = 0.35;
    p.cutoff = 2400.0;
    p.envOctaves = 1.0;
    p.filterEnv = {0.001, 0.1, 0.0, 0.1};
    p.amp = {0.003, 0.16, 0.35, 0.08};
    constexpr std::array<int, 8> kOrder = {0, 2, 1, 3, 2, 4, 3, 2};
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = ChordOfBar(bar);
        const std::array<int, 5> tones = {c.voicing[0] + 12, c.voicing[1] + 12, c.voicing[2] + 12,
                                          c.voicing[3] + 12, c.voicing[1] + 24};
        for (int eighth = 0; eighth < 8; ++eighth) {
            const int note =
                tones[static_cast<std::size_t>(kOrder[static_cast<std::size_t>(eighth)])];
            PlayNote(bus, p, g.At(bar, eighth * 2), g.Steps(1.3), note, Humanise(rng, 0.7, 0.1),
                     0.0, rng);
        }
    }
    Bus send = SendOf(bus);
    AddDelay(bus, send, g.StepSeconds(bus.Rate()) * 4.0, 0.3, 0.35, false);
}

void ArpBell(Bus& bus, Rng& rng) {
    Grid g(bus);
    constexpr std::array<std::pair<int, int>, 5> kHits = {
        {{0, 3}, {3, 2}, {6, 3}, {10, 1}, {12, 2}}};
    for (int bar = 0; bar < 4; ++bar) {
        const auto& v = ChordOfBar(bar).voicing;
        for (auto [step, voice] : kHits) {
            const double pan = rng.Range(-0.4, 0.4);
            Bell(bus, g.At(bar, step), v[static_cast<std::size_t>(voice)] + 12,
                 Humanise(rng, 0.7, 0.15), pan, 3.5, 1.4, 0.45);
        }
    }
    Bus send = SendOf(bus);
    AddReverb(bus, send, 0.7, 0.3, 0.7);
}

// ---------------------------------------------------------------------------
// Lead

void LeadSaw(Bus& bus, Rng& rng) {
    Grid g(bus);
    Patch p;
    p.shape = Patch::Shape::Saw;
    p.unison = 2;
    p.detuneCents = 7.0;
    p.stereoWidth = 0.3;
    p.cutoff = 1500.0;
    p.keyTrack = 0.5;
    p.envOctaves = 1.0;
    p.filterEnv = {0.01, 0.25, 0.3, 0.2};
    p.resonance = 1.1;
    p.amp = {0.012, 0.3, 0.75, 0.15};
    p.vibratoCents = 18.0;
    p.vibratoHz = 5.4;
    p.vibratoDelay = 0.25;
    struct Note {
        int bar;
        double step;
        double len;
        int note;
    };
    // Eight bars over the progression twice: a phrase and its answer.
    constexpr std::array<Note, 36> kMelody = {{
        {0, 0, 2, 69},  {0, 2, 2, 72}, {0, 4, 4, 76},  {0, 8, 2, 74},  {0, 10, 2, 72},
        {0, 12, 4, 74}, {1, 0, 6, 72}, {1, 6, 2, 69},  {1, 8, 2, 65},  {1, 10, 2, 69},
        {1, 12, 4, 72}, {2, 0, 4, 76}, {2, 4, 2, 79},  {2, 6, 2, 76},  {2, 8, 4, 74},
        {2, 12, 4, 72}, {3, 0, 6, 71}, {3, 6, 2, 74},  {3, 8, 8, 67},  {4, 0, 2, 69},
        {4, 2, 2, 72},  {4, 4, 4, 76}, {4, 8, 2, 79},  {4, 10, 2, 76}, {4, 12, 4, 81},
        {5, 0, 6, 77},  {5, 6, 2, 76}, {5, 8, 4, 72},  {5, 12, 4, 69}, {6, 0, 4, 76},
        {6, 4, 4, 79},  {6, 8, 4, 84}, {6, 12, 4, 83}, {7, 0, 8, 79},  {7, 8, 4, 74},
        {7, 12, 4, 71},
    }};
    int previous = kMelody.back().note;
    for (const Note& n : kMelody) {
        Patch q = p;
        // Legato slides into notes a step or two away.
        const int jump = n.note - previous;
        if (jump != 0 && std::abs(jump) <= 3) {
            q.glideFrom = -jump;
            q.glideTime = 0.05;
        }
        previous = n.note;
        PlayNote(bus, q, g.At(n.bar, n.step), g.Steps(n.len - 0.3), n.note,
                 Humanise(rng, 0.8, 0.08), 0.0, rng);
    }
    Bus delaySend = SendOf(bus);
    Bus reverbSend = SendOf(bus);
    AddDelay(bus, delaySend, g.StepSeconds(bus.Rate()) * 3.0, 0.35, 0.3, true);
    AddReverb(bus, reverbSend, 0.65, 0.5, 0.35);
}

// ---------------------------------------------------------------------------
// Effects: one-shots for effect channels. Rendered once (not wrapped), and
// faded at both ends by FinishEffect.

// Raised-cosine fades: in over `in` seconds, out over the last `out` seconds.
void FadeEdges(Bus& bus, double in, double out) {
    const auto n = static_cast<std::int64_t>(bus.Frames());
    const auto fin = std::max<std::int64_t>(1, std::llround(in * bus.Rate()));
    const auto fout = std::max<std::int64_t>(1, std::llround(out * bus.Rate()));
    for (std::int64_t i = 0; i < n; ++i) {
        double g = 1.0;
        if (i < fin) g *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / fin);
        const std::int64_t fromEnd = n - 1 - i;
        if (fromEnd < fout) g *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(fromEnd) / fout);
        bus.Left()[static_cast<std::size_t>(i)] *= static_cast<float>(g);
        bus.Right()[static_cast<std::size_t>(i)] *= static_cast<float>(g);
    }
}

// A one-shot reverb (no wrap: the effect starts from silence).
void AddReverbOnce(Bus& bus, double size, double damping, double level) {
    Bus send = SendOf(bus);
    Reverb reverb(bus.Rate(), size, damping);
    ProcessLooped(send, 0.0, reverb);
    bus.Mix(send, level);
}

void FxRiser(Bus& bus, Rng& rng) {
    const double rate = bus.Rate();
    const auto n = static_cast<std::int64_t>(bus.Frames());
    const double total = static_cast<double>(n) / rate;
    Svf noiseL;
    Svf noiseR;
    Svf tone;
    std::array<Oscillator, 3> saws;
    for (auto& s : saws)
        s.SetPhase(rng.Uniform());
    Rng rngR(rng.Next());
    bus.Render(0, n, [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        const double x = t / total;  // 0 .. 1 over the riser
        if (i % 8 == 0) {
            const double cutoff = 300.0 * std::pow(30.0, x);
            noiseL.Set(cutoff, 1.8, rate);
            noiseR.Set(cutoff * 1.05, 1.8, rate);
            tone.Set(500.0 + 5000.0 * x * x, 1.2, rate);
            // Two octaves up, from A3, with the outer saws detuned.
            const double hz = NoteHz(57.0 + 24.0 * x);
            saws[0].SetFrequency(hz, rate);
            saws[1].SetFrequency(hz * 1.006, rate);
            saws[2].SetFrequency(hz * 0.994, rate);
        }
        const double level = x * x;
        const double saw = tone.Low((saws[0].Saw() + saws[1].Saw() + saws[2].Saw()) / 3.0);
        const double l = noiseL.Band(rng.Bipolar()) * 1.2 + 0.35 * saw;
        const double r = noiseR.Band(rngR.Bipolar()) * 1.2 + 0.35 * saw;
        return std::pair{l * level, r * level};
    });
    AddReverbOnce(bus, 0.6, 0.4, 0.5);
    FadeEdges(bus, 0.005, 0.02);
}

void FxHit(Bus& bus, Rng& rng) {
    const double rate = bus.Rate();
    KickSound boom;
    boom.startHz = 140.0;
    boom.endHz = 38.0;
    boom.sweepTau = 0.12;
    boom.decayTau = 0.45;
    boom.click = 0.5;
    boom.drive = 2.0;
    Kick(bus, 0, 1.0, boom, rng);
    // A crash: bright noise falling slowly, and the chord's root and fifth as
    // a short low brass-like stab so the hit sits in the key.
    Svf hp;
    hp.Set(2500.0, 0.7, rate);
    Rng rngR(rng.Next());
    Svf hpR;
    hpR.Set(2500.0, 0.7, rate);
    bus.Render(0, static_cast<std::int64_t>(PercLength(0.001, 0.5) * rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        const double env = 0.5 * PercEnv(t, 0.001, 0.5);
        return std::pair{hp.High(rng.Bipolar()) * env, hpR.High(rngR.Bipolar()) * env};
    });
    Patch stab;
    stab.shape = Patch::Shape::Saw;
    stab.unison = 3;
    stab.detuneCents = 12.0;
    stab.stereoWidth = 0.7;
    stab.cutoff = 300.0;
    stab.envOctaves = 3.0;
    stab.filterEnv = {0.002, 0.3, 0.0, 0.3};
    stab.amp = {0.002, 0.5, 0.0, 0.3};
    for (int note : {45, 52, 57})
        PlayNote(bus, stab, 0, static_cast<std::int64_t>(0.4 * rate), note, 0.35, 0.0, rng);
    AddReverbOnce(bus, 0.9, 0.5, 1.2);
    FadeEdges(bus, 0.0005, 0.6);
}

void FxSweep(Bus& bus, Rng& rng) {
    const double rate = bus.Rate();
    const auto n = static_cast<std::int64_t>(bus.Frames());
    const double total = static_cast<double>(n) / rate;
    Svf filter;
    Oscillator saw;
    Svf tone;
    bus.Render(0, n, [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        const double x = t / total;
        if (i % 8 == 0) {
            // A downward sweep: the filter falls from the top to the bass.
            filter.Set(9000.0 * std::pow(150.0 / 9000.0, x), 3.0, rate);
            saw.SetFrequency(NoteHz(81.0 - 36.0 * x), rate);
            tone.Set(3000.0 * std::pow(0.1, x), 0.9, rate);
        }
        const double env = std::min(1.0, t / 0.08) * (1.0 - x);
        const double v = (filter.Band(rng.Bipolar()) + 0.2 * tone.Low(saw.Saw())) * env;
        // Travels from the left to the right.
        const auto [gl, gr] = PanGains(-0.8 + 1.6 * x);
        return std::pair{v * gl, v * gr};
    });
    AddReverbOnce(bus, 0.5, 0.4, 0.6);
    FadeEdges(bus, 0.005, 0.3);
}

// ---------------------------------------------------------------------------
// The catalogue

constexpr LoopFormat kWav16 = {FileKind::Wav, 44100, 16, 2};
constexpr LoopFormat kWav8 = {FileKind::Wav, 22050, 8, 1};
constexpr LoopFormat kAiff16 = {FileKind::Aiff, 44100, 16, 2};
constexpr LoopFormat kAiff16Mono = {FileKind::Aiff, 22050, 16, 1};
constexpr LoopFormat kAu16 = {FileKind::Au, 44100, 16, 2};

using R = LoopRole;

constexpr LoopInfo kCatalogue[] = {
    {"kick_four.wav", "Kick Four On The Floor", "kick drum on every beat", R::Drums, 1, kWav16,
     KickFour},
    {"kick_broken.wav", "Kick Broken", "syncopated kick pattern", R::Drums, 2, kWav16, KickBroken},
    {"snare_backbeat.wav", "Snare Backbeat", "snare on two and four with ghost notes and room",
     R::Drums, 1, kWav16, SnareBackbeat},
    {"clap_backbeat.wav", "Clap Backbeat", "hand claps on two and four with reverb", R::Drums, 2,
     kWav8, ClapBackbeat},
    {"hats_closed.wav", "Hats Closed 16ths", "closed hi-hats in sixteenths, accented", R::Drums, 1,
     kWav16, HatsClosed},
    {"hats_open.wav", "Hats Open Offbeat", "open hi-hat on every offbeat", R::Drums, 1, kWav16,
     HatsOpen},
    {"shaker_swing.wav", "Shaker Swing", "swung shaker sixteenths", R::Percussion, 1, kWav8,
     ShakerSwing},
    {"perc_clave.aif", "Perc Rim Clave", "three-two clave on the rim with ping-pong echo",
     R::Percussion, 2, kAiff16, RimClave},
    {"perc_congas.wav", "Perc Congas", "congas tuned to A, C and E", R::Percussion, 2, kWav8,
     Congas},
    {"drums_full.wav", "Drums Full Beat", "kick, snare and hats together", R::Drums, 2, kWav16,
     DrumsFull},
    {"drums_lofi.wav", "Drums Lofi Break", "swung broken beat, dusty", R::Drums, 2, kWav8,
     DrumsLofi},
    {"snare_roll.wav", "Snare Roll Build", "snare roll swelling into the next bar", R::Drums, 1,
     kWav16, SnareRoll},
    {"bass_sub.wav", "Bass Sub Am", "round sub bass following the roots", R::Bass, 4, kWav16,
     BassSub},
    {"bass_acid.wav", "Bass Acid Am", "resonant sixteenth-note acid line with slides", R::Bass, 4,
     kWav16, BassAcid},
    {"pad_warm.wav", "Pad Warm Am", "detuned saw pad under a low-pass, Am7 Fmaj7 C G", R::Chords, 4,
     kWav16, PadWarm},
    {"pad_strings.aif", "Pad Strings Am", "wide string pad breathing over eight bars", R::Chords, 8,
     kAiff16, PadStrings},
    {"chords_stab.wav", "Chord Stabs Am", "plucked offbeat chord stabs with echo", R::Chords, 4,
     kWav16, ChordStabs},
    {"arp_pluck.wav", "Arp Pluck Am", "sixteenth-note plucked arpeggio with ping-pong echo",
     R::Arpeggio, 4, kWav16, ArpPluck},
    {"arp_square.aif", "Arp Square Am", "eighth-note pulse-wave arpeggio", R::Arpeggio, 4, kAiff16,
     ArpSquare},
    {"arp_bell.aif", "Arp Bell Am", "glassy FM bells on chord tones", R::Arpeggio, 4, kAiff16Mono,
     ArpBell},
    {"lead_saw.wav", "Lead Saw Am", "eight-bar saw lead melody with slides and echo", R::Lead, 8,
     kWav16, LeadSaw},
    {"fx_riser.au", "FX Riser", "four-bar noise and saw riser into a downbeat", R::Effect, 4, kAu16,
     FxRiser},
    {"fx_hit.wav", "FX Hit", "boom, crash and low stab with a long tail", R::Effect, 2, kWav16,
     FxHit},
    {"fx_sweep.aif", "FX Sweep", "falling filtered-noise sweep from left to right", R::Effect, 2,
     kAiff16, FxSweep},
};

std::uint64_t SeedOf(const char* name) {
    // FNV-1a of the file name: each loop's noise is its own and does not
    // change when loops are added or reordered.
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const char* p = name; *p; ++p) {
        h ^= static_cast<unsigned char>(*p);
        h *= 0x100000001B3ull;
    }
    return h;
}

}  // namespace

std::uint32_t FramesPerBar(std::uint32_t rate) {
    return static_cast<std::uint32_t>(static_cast<double>(rate) * 240.0 / kTempo);
}

std::span<const LoopInfo> Catalogue() {
    return kCatalogue;
}

Bus RenderSignal(const LoopInfo& info) {
    const std::size_t frames = static_cast<std::size_t>(FramesPerBar(info.format.rate)) *
                               static_cast<std::size_t>(info.bars);
    Bus bus(frames, info.format.rate);
    Rng rng(SeedOf(info.file));
    info.render(bus, rng);
    if (info.format.channels == 1) {
        for (std::size_t i = 0; i < frames; ++i) {
            const float m = 0.5f * (bus.Left()[i] + bus.Right()[i]);
            bus.Left()[i] = m;
            bus.Right()[i] = m;
        }
    }
    const double peak = bus.Peak();
    if (peak > 0.0) bus.Scale(DbToGain(kPeakDb) / peak);
    return bus;
}

bool SignalToWave(const Bus& bus, const LoopFormat& format, audio::Wave& wave) {
    audio::WAVEFORMATEX wf;
    audio::MakePcmFormat(wf, format.rate, format.bits, format.channels);
    const auto frames = static_cast<std::uint32_t>(bus.Frames());
    if (frames == 0 || !wave.Create(wf, frames)) return false;
    const bool mono = format.channels == 1;
    for (std::uint32_t i = 0; i < frames; ++i) {
        auto quantise = [&](float x) -> std::int32_t {
            const double v = std::clamp(static_cast<double>(x), -1.0, 1.0);
            // 8-bit values are handed over as multiples of 256, which the
            // wave's 16-to-8-bit step turns back into the rounded value.
            if (format.bits == 8) return static_cast<std::int32_t>(std::lround(v * 127.0)) * 256;
            return static_cast<std::int32_t>(std::lround(v * 32767.0));
        };
        const std::int32_t l = quantise(bus.Left()[i]);
        const std::int32_t r = mono ? l : quantise(bus.Right()[i]);
        const std::uint32_t packed = (static_cast<std::uint32_t>(l) & 0xFFFFu) |
                                     ((static_cast<std::uint32_t>(r) & 0xFFFFu) << 16);
        wave.SetFrame(static_cast<std::int32_t>(i), packed);
    }
    return true;
}

bool RenderLoop(const LoopInfo& info, audio::Wave& wave) {
    const Bus bus = RenderSignal(info);
    if (!SignalToWave(bus, info.format, wave)) return false;
    wave.SetInfo("INAM", info.title);
    const std::string comment = std::to_string(static_cast<int>(kTempo)) + " BPM, A minor, " +
                                std::to_string(info.bars) + (info.bars == 1 ? " bar" : " bars") +
                                (info.role == LoopRole::Effect ? ", one-shot effect" : "");
    wave.SetInfo("ICMT", comment);
    wave.SetInfo("IGNR", "Electronic");
    wave.SetInfo("ISFT", "tamboro-synth");
    return true;
}

std::string DescribeFormat(const LoopFormat& f) {
    const char* kind = f.kind == FileKind::Wav ? "WAV" : f.kind == FileKind::Aiff ? "AIFF" : "AU";
    return std::string(kind) + " " + std::to_string(f.rate) + " Hz " + std::to_string(f.bits) +
           "-bit " + (f.channels == 1 ? "mono" : "stereo");
}

}  // namespace tamboro::synth
