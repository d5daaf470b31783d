#include "tools/synth/Dsp.h"

#include <algorithm>
#include <cmath>

namespace tamboro::synth {

double NoteHz(double note) {
    return 440.0 * std::exp2((note - 69.0) / 12.0);
}

double DbToGain(double db) {
    return std::pow(10.0, db / 20.0);
}

std::uint64_t Rng::Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::Uniform() {
    // The top 53 bits give every double in [0, 1) on the 2^-53 grid.
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

double PolyBlep(double t, double dt) {
    if (t < dt) {
        const double x = t / dt;
        return x + x - x * x - 1.0;
    }
    if (t > 1.0 - dt) {
        const double x = (t - 1.0) / dt;
        return x * x + x + x + 1.0;
    }
    return 0.0;
}

void Oscillator::SetFrequency(double hz, double rate) {
    m_dt = std::clamp(hz / rate, 0.0, 0.25);
}

void Oscillator::Advance() {
    m_phase += m_dt;
    if (m_phase >= 1.0) m_phase -= 1.0;
}

double Oscillator::Sine() {
    const double v = std::sin(2.0 * kPi * m_phase);
    Advance();
    return v;
}

double Oscillator::Saw() {
    const double v = 2.0 * m_phase - 1.0 - PolyBlep(m_phase, m_dt);
    Advance();
    return v;
}

double Oscillator::Pulse(double width) {
    width = std::clamp(width, 0.05, 0.95);
    double v = m_phase < width ? 1.0 : -1.0;
    v += PolyBlep(m_phase, m_dt);
    double t2 = m_phase - width;
    if (t2 < 0.0) t2 += 1.0;
    v -= PolyBlep(t2, m_dt);
    Advance();
    return v;
}

double Oscillator::Triangle() {
    // A triangle has kinks, not steps: its harmonics fall as 1/n^2, so the
    // plain shape aliases little at the pitches it is used for.
    const double t = m_phase;
    double v = t < 0.5 ? 4.0 * t - 1.0 : 3.0 - 4.0 * t;
    Advance();
    return v;
}

double Adsr::At(double t, double gate) const {
    if (t < 0.0) return 0.0;
    const double a = std::max(attack, 1e-4);
    auto held = [&](double u) {
        if (u < a) return u / a;
        return sustain + (1.0 - sustain) * std::exp(-(u - a) / std::max(decay, 1e-4));
    };
    if (t < gate) return held(t);
    const double x = (t - gate) / std::max(release, 1e-4);
    if (x >= kTailConstants) return 0.0;
    const double floor = std::exp(-kTailConstants);
    return held(gate) * (std::exp(-x) - floor) / (1.0 - floor);
}

double PercEnv(double t, double attack, double tau) {
    if (t < 0.0) return 0.0;
    attack = std::max(attack, 1e-4);
    if (t < attack) return t / attack;
    const double x = (t - attack) / tau;
    if (x >= Adsr::kTailConstants) return 0.0;
    const double floor = std::exp(-Adsr::kTailConstants);
    return (std::exp(-x) - floor) / (1.0 - floor);
}

void Svf::Set(double cutoff, double q, double rate) {
    cutoff = std::clamp(cutoff, 10.0, 0.45 * rate);
    const double g = std::tan(kPi * cutoff / rate);
    m_k = 1.0 / std::max(q, 0.05);
    m_a1 = 1.0 / (1.0 + g * (g + m_k));
    m_a2 = g * m_a1;
    m_a3 = g * m_a2;
}

Svf::Outputs Svf::Process(double x) {
    const double v3 = x - m_ic2;
    const double v1 = m_a1 * m_ic1 + m_a2 * v3;
    const double v2 = m_ic2 + m_a2 * m_ic1 + m_a3 * v3;
    m_ic1 = 2.0 * v1 - m_ic1;
    m_ic2 = 2.0 * v2 - m_ic2;
    return {v2, v1, x - m_k * v1 - v2};
}

void OnePole::Set(double cutoff, double rate) {
    m_a = 1.0 - std::exp(-2.0 * kPi * cutoff / rate);
}

double Saturate(double x) {
    return std::tanh(x);
}

}  // namespace tamboro::synth
