#pragma once
// The building blocks of the loop synthesiser: a seeded random source,
// band-limited oscillators, envelopes and a state-variable filter.
//
// Everything here is plain deterministic arithmetic: the same calls give the
// same samples on every run. Frequencies are in hertz, times in seconds,
// rates in frames per second.
#include <cstdint>

namespace tamboro::synth {

inline constexpr double kPi = 3.14159265358979323846;

// Frequency of a MIDI note number (69 = A4 = 440 Hz).
double NoteHz(double note);
// Amplitude factor of a level in decibels.
double DbToGain(double db);

// SplitMix64: small, fast and fully determined by its seed.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next();
    // Uniform in [0, 1).
    double Uniform();
    // Uniform in [-1, 1).
    double Bipolar() { return 2.0 * Uniform() - 1.0; }
    // Uniform in [lo, hi).
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

  private:
    std::uint64_t m_state;
};

// The two-sample polynomial band-limited step residual for phase t in [0, 1)
// advancing dt per sample: subtracting it from a naive waveform at each
// discontinuity removes most of the aliasing a hard step would fold back.
double PolyBlep(double t, double dt);

// A phase accumulator that reads out band-limited waveforms. Each read
// returns the current sample and advances the phase by one frame.
class Oscillator {
  public:
    // hz is clamped below a quarter of the rate so the residuals stay apart.
    void SetFrequency(double hz, double rate);
    void SetPhase(double phase) { m_phase = phase; }
    double Phase() const { return m_phase; }

    double Sine();
    // Rising saw from -1 to 1.
    double Saw();
    // Pulse, high for the first `width` (0.05..0.95) of each cycle.
    double Pulse(double width);
    // Triangle from -1 up to 1 and back (plain shape, see Dsp.cpp).
    double Triangle();

  private:
    void Advance();
    double m_phase = 0.0;
    double m_dt = 0.0;
};

// Attack-decay-sustain-release as a pure function of time, so each note can
// be rendered on its own. Attack is linear, decay and release exponential
// with the given time constants; the release bends to reach exactly zero
// after kTailConstants time constants so no note ends in a step.
struct Adsr {
    double attack = 0.005;
    double decay = 0.2;
    double sustain = 0.7;
    double release = 0.2;

    static constexpr double kTailConstants = 6.9;  // about -60 dB

    // Level 0..1 at `t` seconds after note-on for a gate of `gate` seconds.
    double At(double t, double gate) const;
    // Seconds after note-on until the level is zero for good.
    double Length(double gate) const { return gate + kTailConstants * release; }
};

// A percussive envelope: linear rise over `attack`, then an exponential fall
// with time constant `tau` that reaches exactly zero at attack + 6.9 tau.
double PercEnv(double t, double attack, double tau);
inline double PercLength(double attack, double tau) {
    return attack + Adsr::kTailConstants * tau;
}

// Trapezoidal state-variable filter (zero-delay feedback form): low, band
// and high pass from one state, stable under fast cutoff changes.
class Svf {
  public:
    struct Outputs {
        double low;
        double band;
        double high;
    };
    // cutoff is clamped to 10 Hz .. 0.45 x rate; q > 0 (0.707 is flat).
    void Set(double cutoff, double q, double rate);
    Outputs Process(double x);
    double Low(double x) { return Process(x).low; }
    double Band(double x) { return Process(x).band; }
    double High(double x) { return Process(x).high; }
    void Clear() { m_ic1 = m_ic2 = 0.0; }

  private:
    double m_a1 = 0.0, m_a2 = 0.0, m_a3 = 0.0, m_k = 1.0;
    double m_ic1 = 0.0, m_ic2 = 0.0;
};

// One-pole smoother / low-pass.
class OnePole {
  public:
    void Set(double cutoff, double rate);
    double Process(double x) {
        m_z += m_a * (x - m_z);
        return m_z;
    }

  private:
    double m_a = 1.0;
    double m_z = 0.0;
};

// Soft saturation with unity slope at zero.
double Saturate(double x);

}  // namespace tamboro::synth
