#pragma once
// Instruments: each call renders one struck or played note into a bus,
// starting at a frame (wrapping around the loop), with all of its tail.
//
// Frames are positions in the bus; gains are linear; pans -1 (left) to +1
// (right); notes are MIDI note numbers.
#include <cstdint>

#include "tools/synth/Bus.h"
#include "tools/synth/Dsp.h"

namespace tamboro::synth {

struct KickSound {
    double startHz = 160.0;   // pitch at the strike
    double endHz = 55.0;      // pitch the body settles on (A1, the key's root)
    double sweepTau = 0.035;  // time constant of the pitch fall, seconds
    double decayTau = 0.16;   // time constant of the body's fall
    double click = 0.25;      // level of the noise click on the attack
    double drive = 1.6;       // saturation before the output
};
void Kick(Bus& bus, std::int64_t frame, double gain, const KickSound& sound, Rng& rng);

// Two tuned drum-head sines and a burst of band-passed noise.
void Snare(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng);
// Three quick noise bursts and a short diffuse tail, band-passed.
void Clap(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng);
// Six detuned square waves in inharmonic ratios plus noise, high-passed:
// a metallic hat. decayTau about 0.02 (closed) to 0.2 (open) seconds.
void Hat(Bus& bus, std::int64_t frame, double gain, double decayTau, double pan, Rng& rng);
// High, soft-attack noise.
void Shaker(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng);
// A short high tick: rimshot or claves.
void Rim(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng);
// A hand drum tuned to `note`, with a small slap on accents.
void Conga(Bus& bus, std::int64_t frame, double note, double gain, double pan, bool slap, Rng& rng);

// A subtractive voice: up to five detuned oscillators through a resonant
// low-pass with its own envelope.
struct Patch {
    enum class Shape { Saw, Pulse, Sine, Triangle };
    Shape shape = Shape::Saw;
    int unison = 1;            // 1..5 oscillators
    double detuneCents = 0.0;  // spread of the unison, outermost pair
    double stereoWidth = 0.0;  // 0..1: how far the unison voices are panned
    double pulseWidth = 0.5;
    double pwmDepth = 0.0;  // pulse-width modulation depth
    double pwmHz = 0.0;
    double subLevel = 0.0;  // sine one octave below
    Adsr amp;
    double cutoff = 2000.0;    // base cutoff, Hz
    double envOctaves = 0.0;   // cutoff rise at the filter envelope's peak
    double keyTrack = 0.0;     // 1: cutoff follows the note exactly
    double resonance = 0.707;  // filter q
    Adsr filterEnv;
    double drive = 0.0;  // 0: clean; >0: saturation amount
    double vibratoCents = 0.0;
    double vibratoHz = 5.0;
    double vibratoDelay = 0.3;  // seconds before the vibrato fades in
    double glideFrom = 0.0;     // semitones the pitch slides in from
    double glideTime = 0.0;     // seconds of the slide
};
void PlayNote(Bus& bus, const Patch& patch, std::int64_t frame, std::int64_t gateFrames,
              double note, double velocity, double pan, Rng& rng);

// Two-operator FM bell: the modulator at `ratio` x the carrier, its index
// falling from `index` with the note.
void Bell(Bus& bus, std::int64_t frame, double note, double velocity, double pan, double ratio,
          double index, double decayTau);

}  // namespace tamboro::synth
