#include "audio/wave/Levels.h"

#include <algorithm>
#include <cmath>

namespace tamboro::audio {

int VolumeToAttenuation(int percent) {
    if (percent <= 0) return kLevelFloor;
    percent = std::min(percent, 100);
    const double att = std::trunc(1000.0 * std::log2(percent / 100.0));
    return std::max(static_cast<int>(att), kLevelFloor);
}

int AttenuationToVolume(int attenuation) {
    attenuation = std::clamp(attenuation, kLevelFloor, 0);
    return static_cast<int>(std::trunc(100.0 * std::pow(0.5, -attenuation / 1000.0)));
}

int BalanceToPan(int balance) {
    balance = std::clamp(balance, -100, 100);
    if (balance == 100) return kPanRight;
    if (balance == -100) return kPanLeft;
    if (balance >= 0) {
        const double pan = -std::trunc(1000.0 * std::log2((100 - balance) / 100.0));
        return std::min(static_cast<int>(pan), kPanRight);
    }
    const double pan = std::trunc(1000.0 * std::log2((balance + 100) / 100.0));
    return std::max(static_cast<int>(pan), kPanLeft);
}

int PanToBalance(int pan) {
    pan = std::clamp(pan, kPanLeft, kPanRight);
    if (pan >= 0) return 100 - static_cast<int>(std::trunc(100.0 * std::pow(0.5, pan / 1000.0)));
    return static_cast<int>(std::trunc(100.0 * std::pow(0.5, -pan / 1000.0))) - 100;
}

}  // namespace tamboro::audio
