#include "tools/synth/Bus.h"

#include <algorithm>

#include "tools/synth/Dsp.h"

namespace tamboro::synth {

void Bus::Mix(const Bus& other, double gain) {
    const std::size_t n = std::min(Frames(), other.Frames());
    for (std::size_t i = 0; i < n; ++i) {
        m_left[i] += static_cast<float>(gain * other.m_left[i]);
        m_right[i] += static_cast<float>(gain * other.m_right[i]);
    }
}

void Bus::Scale(double gain) {
    for (std::size_t i = 0; i < Frames(); ++i) {
        m_left[i] = static_cast<float>(m_left[i] * gain);
        m_right[i] = static_cast<float>(m_right[i] * gain);
    }
}

double Bus::Peak() const {
    double peak = 0.0;
    for (std::size_t i = 0; i < Frames(); ++i) {
        peak = std::max(peak, static_cast<double>(std::abs(m_left[i])));
        peak = std::max(peak, static_cast<double>(std::abs(m_right[i])));
    }
    return peak;
}

std::pair<double, double> PanGains(double pan) {
    const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
    return {std::cos(angle), std::sin(angle)};
}

StereoDelay::StereoDelay(double rate, double seconds, double feedback, double damping,
                         bool pingPong)
    : m_left(std::max<std::size_t>(1, static_cast<std::size_t>(seconds * rate))),
      m_right(m_left.size()),
      m_feedback(feedback),
      m_damp(damping),
      m_pingPong(pingPong) {}

void StereoDelay::Process(double& l, double& r) {
    const double outL = m_left[m_pos];
    const double outR = m_right[m_pos];
    m_lowL += (1.0 - m_damp) * (outL - m_lowL);
    m_lowR += (1.0 - m_damp) * (outR - m_lowR);
    if (m_pingPong) {
        // The input enters on the left (mono sum), repeats cross sides.
        m_left[m_pos] = 0.5 * (l + r) + m_feedback * m_lowR;
        m_right[m_pos] = m_feedback * m_lowL;
    } else {
        m_left[m_pos] = l + m_feedback * m_lowL;
        m_right[m_pos] = r + m_feedback * m_lowR;
    }
    if (++m_pos == m_left.size()) m_pos = 0;
    l = outL;
    r = outR;
}

namespace {
// Line lengths in frames at 44100 Hz (mutually prime-ish, as in the
// classic Schroeder-Moorer designs); scaled to the rate.
constexpr int kCombLengths[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllPassLengths[4] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;
}  // namespace

Reverb::Reverb(double rate, double size, double damping)
    : m_feedback(0.7 + 0.28 * std::clamp(size, 0.0, 1.0)),
      m_damp(0.4 * std::clamp(damping, 0.0, 1.0)) {
    const double scale = rate / 44100.0;
    for (int side = 0; side < 2; ++side) {
        for (int i = 0; i < 8; ++i) {
            const auto len =
                static_cast<std::size_t>((kCombLengths[i] + side * kStereoSpread) * scale);
            m_combs[side][i].line.assign(std::max<std::size_t>(len, 1), 0.0);
        }
        for (int i = 0; i < 4; ++i) {
            const auto len =
                static_cast<std::size_t>((kAllPassLengths[i] + side * kStereoSpread) * scale);
            m_allPasses[side][i].line.assign(std::max<std::size_t>(len, 1), 0.0);
        }
    }
}

double Reverb::RunComb(Comb& c, double x, double feedback, double damp) {
    const double out = c.line[c.pos];
    c.store = out * (1.0 - damp) + c.store * damp;
    c.line[c.pos] = x + c.store * feedback;
    if (++c.pos == c.line.size()) c.pos = 0;
    return out;
}

double Reverb::RunAllPass(AllPass& a, double x) {
    const double buffered = a.line[a.pos];
    const double out = buffered - x;
    a.line[a.pos] = x + buffered * 0.5;
    if (++a.pos == a.line.size()) a.pos = 0;
    return out;
}

void Reverb::Process(double& l, double& r) {
    const double in = 0.015 * (l + r);
    double out[2] = {0.0, 0.0};
    for (int side = 0; side < 2; ++side) {
        double acc = 0.0;
        for (auto& c : m_combs[side])
            acc += RunComb(c, in, m_feedback, m_damp);
        for (auto& a : m_allPasses[side])
            acc = RunAllPass(a, acc);
        out[side] = acc;
    }
    l = out[0];
    r = out[1];
}

}  // namespace tamboro::synth
