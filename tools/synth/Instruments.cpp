#include "tools/synth/Instruments.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tamboro::synth {

namespace {

std::int64_t FramesOf(double seconds, double rate) {
    return static_cast<std::int64_t>(std::ceil(seconds * rate));
}

}  // namespace

void Kick(Bus& bus, std::int64_t frame, double gain, const KickSound& s, Rng& rng) {
    const double rate = bus.Rate();
    const double len = PercLength(0.001, s.decayTau);
    Svf clickFilter;
    clickFilter.Set(3500.0, 0.8, rate);
    const double norm = 1.0 / Saturate(s.drive);
    bus.Render(frame, FramesOf(len, rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        // Phase of a sine whose frequency falls exponentially from startHz
        // to endHz: the integral of the frequency, in closed form.
        const double phase =
            s.endHz * t + (s.startHz - s.endHz) * s.sweepTau * (1.0 - std::exp(-t / s.sweepTau));
        double v = std::sin(2.0 * kPi * phase) * PercEnv(t, 0.001, s.decayTau);
        v += s.click * clickFilter.Low(rng.Bipolar()) * PercEnv(t, 0.0005, 0.004);
        v = Saturate(s.drive * v) * norm * gain;
        return std::pair{v, v};
    });
}

void Snare(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    Svf hp;
    Svf bp;
    hp.Set(1200.0, 0.7, rate);
    bp.Set(5200.0, 0.9, rate);
    bus.Render(frame, FramesOf(PercLength(0.001, 0.08), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        // A head tuned to 185 Hz that strikes 70 Hz sharp.
        const double p1 = 185.0 * t + 70.0 * 0.01 * (1.0 - std::exp(-t / 0.01));
        const double body = 0.55 * std::sin(2.0 * kPi * p1) * PercEnv(t, 0.001, 0.05) +
                            0.3 * std::sin(2.0 * kPi * 330.0 * t) * PercEnv(t, 0.001, 0.035);
        const double n = rng.Bipolar();
        const double noise = (0.7 * hp.High(n) + 0.5 * bp.Band(n)) * PercEnv(t, 0.001, 0.08);
        const double v = gain * Saturate(1.3 * (body + noise));
        return std::pair{v * gl, v * gr};
    });
}

void Clap(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    Svf bp;
    Svf hp;
    bp.Set(1150.0, 1.4, rate);
    hp.Set(600.0, 0.7, rate);
    bus.Render(frame, FramesOf(0.033 + PercLength(0.001, 0.09), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        double env = 0.0;
        for (int b = 0; b < 3; ++b)
            env += PercEnv(t - 0.011 * b, 0.0008, 0.0045);
        env += 0.8 * PercEnv(t - 0.033, 0.001, 0.09);
        const double n = rng.Bipolar();
        const double v = gain * 2.2 * hp.High(bp.Band(n)) * env;
        return std::pair{v * gl, v * gr};
    });
}

void Hat(Bus& bus, std::int64_t frame, double gain, double decayTau, double pan, Rng& rng) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    // Inharmonic square-wave cluster (the ratios of the classic analogue
    // cymbal circuit), tuned up so the cluster lands in the top octave.
    static constexpr std::array<double, 6> kHz = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    std::array<Oscillator, 6> osc;
    for (std::size_t k = 0; k < osc.size(); ++k) {
        osc[k].SetFrequency(kHz[k] * 1.7, rate);
        osc[k].SetPhase(rng.Uniform());
    }
    Svf bp;
    Svf hp;
    bp.Set(std::min(9500.0, 0.4 * rate), 1.2, rate);
    hp.Set(std::min(7000.0, 0.33 * rate), 0.7, rate);
    bus.Render(frame, FramesOf(PercLength(0.0006, decayTau), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        double metal = 0.0;
        for (auto& o : osc)
            metal += o.Pulse(0.5);
        const double x = metal / 6.0 + 0.6 * rng.Bipolar();
        const double v = gain * 1.8 * hp.High(bp.Band(x)) * PercEnv(t, 0.0006, decayTau);
        return std::pair{v * gl, v * gr};
    });
}

void Shaker(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    Svf bp;
    bp.Set(std::min(6500.0, 0.4 * rate), 0.9, rate);
    Svf hp;
    hp.Set(std::min(3500.0, 0.3 * rate), 0.7, rate);
    bus.Render(frame, FramesOf(PercLength(0.008, 0.03), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        const double v = gain * 1.5 * hp.High(bp.Band(rng.Bipolar())) * PercEnv(t, 0.008, 0.03);
        return std::pair{v * gl, v * gr};
    });
}

void Rim(Bus& bus, std::int64_t frame, double gain, double pan, Rng& rng) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    Svf bp;
    bp.Set(std::min(3200.0, 0.4 * rate), 2.0, rate);
    bus.Render(frame, FramesOf(PercLength(0.0005, 0.03), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        const double tone = 0.6 * std::sin(2.0 * kPi * 1720.0 * t) * PercEnv(t, 0.0005, 0.018) +
                            0.4 * std::sin(2.0 * kPi * 520.0 * t) * PercEnv(t, 0.0005, 0.03);
        const double click = bp.Band(rng.Bipolar()) * PercEnv(t, 0.0005, 0.006);
        const double v = gain * (tone + 1.5 * click);
        return std::pair{v * gl, v * gr};
    });
}

void Conga(Bus& bus, std::int64_t frame, double note, double gain, double pan, bool slap,
           Rng& rng) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    const double hz = NoteHz(note);
    Svf bp;
    bp.Set(std::min(2500.0, 0.4 * rate), 1.0, rate);
    const double tau = slap ? 0.07 : 0.14;
    bus.Render(frame, FramesOf(PercLength(0.001, tau), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        // The skin starts a little sharp and settles.
        const double phase = hz * t + 0.35 * hz * 0.012 * (1.0 - std::exp(-t / 0.012));
        double v = std::sin(2.0 * kPi * phase) * PercEnv(t, 0.001, tau);
        if (slap) v += 0.8 * bp.Band(rng.Bipolar()) * PercEnv(t, 0.0008, 0.012);
        v = gain * Saturate(1.2 * v);
        return std::pair{v * gl, v * gr};
    });
}

void PlayNote(Bus& bus, const Patch& p, std::int64_t frame, std::int64_t gateFrames, double note,
              double velocity, double pan, Rng& rng) {
    const double rate = bus.Rate();
    const double gate = static_cast<double>(gateFrames) / rate;
    const double length = std::max(p.amp.Length(gate), 0.001);
    const int unison = std::clamp(p.unison, 1, 5);

    struct Voice {
        Oscillator osc;
        double cents;
        double left;
        double right;
    };
    std::array<Voice, 5> voices{};
    for (int u = 0; u < unison; ++u) {
        // Spread the voices evenly over [-1, 1]; a single voice sits centred.
        const double pos = unison == 1 ? 0.0 : -1.0 + 2.0 * u / (unison - 1);
        Voice& v = voices[static_cast<std::size_t>(u)];
        v.cents = pos * p.detuneCents;
        const auto g = PanGains(std::clamp(pan + pos * p.stereoWidth, -1.0, 1.0));
        v.left = g.first;
        v.right = g.second;
        v.osc.SetPhase(rng.Uniform());
    }
    // Keep the level independent of the unison count (equal-power sum).
    const double norm = 1.0 / std::sqrt(static_cast<double>(unison));

    Oscillator sub;
    Oscillator pwm;
    pwm.SetFrequency(p.pwmHz, rate);
    Svf filterL;
    Svf filterR;
    // Pulse waves and saturation leave a DC offset; a high-pass well below
    // the lowest note keeps it out of the mix.
    Svf dcL;
    Svf dcR;
    dcL.Set(20.0, 0.707, rate);
    dcR.Set(20.0, 0.707, rate);
    // The amplitude envelope is evaluated at the control rate and
    // interpolated in between: it moves slowly next to the audio.
    double envNow = 0.0;
    double envStep = 0.0;
    const double tracked = p.cutoff * std::exp2(p.keyTrack * (note - 60.0) / 12.0);
    const double driveNorm = p.drive > 0.0 ? 1.0 / Saturate(1.0 + p.drive) : 1.0;
    constexpr int kControlStep = 8;  // frames between control-rate updates
    double width = p.pulseWidth;

    bus.Render(frame, static_cast<std::int64_t>(std::ceil(length * rate)), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        if (i % kControlStep == 0) {
            double pitch = note;
            if (p.glideTime > 0.0 && t < p.glideTime)
                pitch += p.glideFrom * (1.0 - t / p.glideTime);
            if (p.vibratoCents > 0.0 && t > p.vibratoDelay) {
                const double fade = std::min(1.0, (t - p.vibratoDelay) / 0.4);
                pitch += fade * p.vibratoCents / 100.0 * std::sin(2.0 * kPi * p.vibratoHz * t);
            }
            const double hz = NoteHz(pitch);
            for (int u = 0; u < unison; ++u) {
                Voice& v = voices[static_cast<std::size_t>(u)];
                v.osc.SetFrequency(hz * std::exp2(v.cents / 1200.0), rate);
            }
            sub.SetFrequency(hz * 0.5, rate);
            const double cutoff = tracked * std::exp2(p.envOctaves * p.filterEnv.At(t, gate));
            filterL.Set(cutoff, p.resonance, rate);
            filterR.Set(cutoff, p.resonance, rate);
            envNow = velocity * p.amp.At(t, gate);
            const double envNext = velocity * p.amp.At(t + kControlStep / rate, gate);
            envStep = (envNext - envNow) / kControlStep;
        }
        if (p.pwmDepth > 0.0) width = p.pulseWidth + p.pwmDepth * pwm.Sine();
        double l = 0.0;
        double r = 0.0;
        for (int u = 0; u < unison; ++u) {
            Voice& v = voices[static_cast<std::size_t>(u)];
            double s = 0.0;
            switch (p.shape) {
                case Patch::Shape::Saw:
                    s = v.osc.Saw();
                    break;
                case Patch::Shape::Pulse:
                    s = v.osc.Pulse(width);
                    break;
                case Patch::Shape::Sine:
                    s = v.osc.Sine();
                    break;
                case Patch::Shape::Triangle:
                    s = v.osc.Triangle();
                    break;
            }
            l += s * v.left;
            r += s * v.right;
        }
        const double s = p.subLevel * sub.Sine();
        l = filterL.Low(l * norm + s * 0.7071);
        r = filterR.Low(r * norm + s * 0.7071);
        if (p.drive > 0.0) {
            l = Saturate((1.0 + p.drive) * l) * driveNorm;
            r = Saturate((1.0 + p.drive) * r) * driveNorm;
        }
        l = dcL.High(l) * envNow;
        r = dcR.High(r) * envNow;
        envNow += envStep;
        return std::pair{l, r};
    });
}

void Bell(Bus& bus, std::int64_t frame, double note, double velocity, double pan, double ratio,
          double index, double decayTau) {
    const double rate = bus.Rate();
    const double gl = PanGains(pan).first;
    const double gr = PanGains(pan).second;
    const double hz = NoteHz(note);
    bus.Render(frame, FramesOf(PercLength(0.002, decayTau), rate), [&](std::int64_t i) {
        const double t = static_cast<double>(i) / rate;
        const double modEnv = index * PercEnv(t, 0.002, decayTau * 0.35);
        const double mod = modEnv * std::sin(2.0 * kPi * hz * ratio * t);
        const double v =
            velocity * std::sin(2.0 * kPi * hz * t + mod) * PercEnv(t, 0.002, decayTau);
        return std::pair{v * gl, v * gr};
    });
}

}  // namespace tamboro::synth
