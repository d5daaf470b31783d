#pragma once
// A loop-long stereo buffer that sounds are mixed into, and the effects that
// run over whole buses.
//
// Everything written into a bus wraps around its end: a note that starts
// near the end of the loop, or rings past it, continues at the start. So
// when the loop is played over and over, each repetition hears the tails of
// the one before, exactly as if the pattern had been played continuously.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tamboro::synth {

class Bus {
  public:
    Bus(std::size_t frames, double rate) : m_rate(rate), m_left(frames), m_right(frames) {}

    std::size_t Frames() const { return m_left.size(); }
    double Rate() const { return m_rate; }
    std::vector<float>& Left() { return m_left; }
    std::vector<float>& Right() { return m_right; }
    const std::vector<float>& Left() const { return m_left; }
    const std::vector<float>& Right() const { return m_right; }

    // Adds `gain` x other (same length) into this bus.
    void Mix(const Bus& other, double gain);
    // Multiplies every frame by `gain`.
    void Scale(double gain);
    // The largest absolute sample of both sides.
    double Peak() const;

    // Renders `length` frames from `start` (any integer; taken modulo the
    // loop length): sample(i) returns the {left, right} pair of frame i.
    template <class Sample>
    void Render(std::int64_t start, std::int64_t length, Sample&& sample) {
        const auto n = static_cast<std::int64_t>(Frames());
        if (n == 0) return;
        std::int64_t pos = start % n;
        if (pos < 0) pos += n;
        for (std::int64_t i = 0; i < length; ++i) {
            const std::pair<double, double> v = sample(i);
            m_left[static_cast<std::size_t>(pos)] += static_cast<float>(v.first);
            m_right[static_cast<std::size_t>(pos)] += static_cast<float>(v.second);
            if (++pos == n) pos = 0;
        }
    }

  private:
    double m_rate;
    std::vector<float> m_left;
    std::vector<float> m_right;
};

// Equal-power pan: -1 left .. +1 right. Returns {left gain, right gain}.
std::pair<double, double> PanGains(double pan);

// Runs `effect` (an object with `void Process(double& l, double& r)` that
// turns an input frame into an output frame in place) over the bus as if
// the loop had been playing for a while: the bus is fed through the effect
// repeatedly until `tailSeconds` of history have passed, and the last pass
// is kept. The result wraps seamlessly because the effect's state at the
// end of one pass is the state the next pass starts from.
template <class Effect>
void ProcessLooped(Bus& bus, double tailSeconds, Effect& effect) {
    const std::size_t n = bus.Frames();
    if (n == 0) return;
    const double loopSeconds = static_cast<double>(n) / bus.Rate();
    const int passes = 1 + static_cast<int>(std::ceil(tailSeconds / loopSeconds));
    const std::vector<float> inL = bus.Left();
    const std::vector<float> inR = bus.Right();
    for (int p = 0; p < passes; ++p) {
        for (std::size_t i = 0; i < n; ++i) {
            double l = inL[i];
            double r = inR[i];
            effect.Process(l, r);
            bus.Left()[i] = static_cast<float>(l);
            bus.Right()[i] = static_cast<float>(r);
        }
    }
}

// Stereo feedback delay with a damped feedback path. With `pingPong` the
// repeats alternate sides. Returns only the wet signal.
class StereoDelay {
  public:
    StereoDelay(double rate, double seconds, double feedback, double damping, bool pingPong);
    void Process(double& l, double& r);

  private:
    std::vector<double> m_left;
    std::vector<double> m_right;
    std::size_t m_pos = 0;
    double m_feedback;
    double m_damp;
    double m_lowL = 0.0, m_lowR = 0.0;
    bool m_pingPong;
};

// A small plate-like reverb: eight damped comb filters in parallel and four
// all-passes in series per side, the right side's lines slightly longer to
// decorrelate the sides. Returns only the wet signal.
class Reverb {
  public:
    // size 0..1 sets the decay (about 0.5 s to 3.5 s), damping 0..1 the
    // darkening of the tail.
    Reverb(double rate, double size, double damping);
    void Process(double& l, double& r);

  private:
    struct Comb {
        std::vector<double> line;
        std::size_t pos = 0;
        double store = 0.0;
    };
    struct AllPass {
        std::vector<double> line;
        std::size_t pos = 0;
    };
    static double RunComb(Comb& c, double x, double feedback, double damp);
    static double RunAllPass(AllPass& a, double x);

    Comb m_combs[2][8];
    AllPass m_allPasses[2][4];
    double m_feedback;
    double m_damp;
};

}  // namespace tamboro::synth
