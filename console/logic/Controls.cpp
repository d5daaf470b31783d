#include "console/logic/Controls.h"

#include <algorithm>

#include "audio/wave/Levels.h"

namespace tamboro::console {

int KnobToVolume(int position) {
    return audio::VolumeToAttenuation(5 * std::clamp(position, 0, kKnobMax));
}

int KnobToPan(int position) {
    return audio::BalanceToPan(10 * (std::clamp(position, 0, kKnobMax) - 10));
}

int KnobPosition(KnobMode mode, int volume, int pan) {
    if (mode == KnobMode::Volume) return audio::AttenuationToVolume(volume) / 5;
    return audio::PanToBalance(pan) / 10 + 10;
}

int KnobDragPosition(int pressPosition, int pressY, int y) {
    // C++ division truncates toward zero, so three pixels either way are no step.
    return std::clamp(pressPosition + (pressY - y) / kPixelsPerKnobStep, 0, kKnobMax);
}

int MasterValueAt(int y) {
    y = std::clamp(y, kMasterTop, kMasterBottom);
    return (kMasterBottom - y) * 100 / (kMasterBottom - kMasterTop);
}

int MasterToAttenuation(int value) {
    return audio::VolumeToAttenuation(value);
}

int MasterFromAttenuation(int attenuation) {
    return audio::AttenuationToVolume(attenuation);
}

int MasterPictureIndex(int value) {
    return std::clamp(value * 20 / 100, 0, 19);
}

MeterLengths MeterLengthsOf(int minLeft, int maxLeft, int minRight, int maxRight) {
    // A side whose extremes crossed (nothing published yet) shows nothing.
    const auto side = [](int lo, int hi) {
        if (hi <= lo) return 0;
        return kMeterHalfWidth * (std::min(hi - lo, 65535)) / 65536;
    };
    return {side(minLeft, maxLeft), side(minRight, maxRight)};
}

PadPicture ChoosePadPicture(bool empty, bool sounding, bool pending, std::uint32_t blinkCounter) {
    const bool blinkOff = pending && (blinkCounter & 1u) != 0;
    if (sounding) return blinkOff ? PadPicture::SoundingBlink : PadPicture::Sounding;
    if (empty) return PadPicture::Empty;
    return blinkOff ? PadPicture::Empty : PadPicture::Loaded;
}

}  // namespace tamboro::console
