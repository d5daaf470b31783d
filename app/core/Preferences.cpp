#include "app/core/Preferences.h"

#include <string>

namespace tamboro::app {

Preferences ReadPreferences(SettingsStore& store) {
    const Preferences d;
    Preferences p;
    const auto get = [&](const char* key, int fallback) {
        return store.ReadInt(kSectionPreferences, key, fallback);
    };
    p.tooltip = get("TOOLTIP", d.tooltip);
    p.outputDevice = get("OUTPUTDEVICE", d.outputDevice);
    p.outputFormat = get("OUTPUTFORMAT", d.outputFormat);
    p.colorTheme = get("COLORTHEME", d.colorTheme);
    if (p.colorTheme < 0 || p.colorTheme >= kThemeCount) p.colorTheme = 0;
    p.monoSource = get("MONOSOURCE", d.monoSource);
    p.softMixing = get("SOFTMIXING", d.softMixing);
    p.levelMeter = get("LEVELMETER", d.levelMeter);
    p.rclickDelayStart = get("RCLICKDELAYSTART", d.rclickDelayStart);
    p.scale = get("SCALE", d.scale);
    if (p.scale < 0 || p.scale > kMaxScale) p.scale = 0;
    p.defaultSong = store.ReadString(kSectionPreferences, "DEFAULTSONG", "");
    return p;
}

void WritePreferences(SettingsStore& store, const Preferences& p) {
    const auto put = [&](const char* key, int value) {
        store.WriteInt(kSectionPreferences, key, value);
    };
    put("TOOLTIP", p.tooltip);
    put("OUTPUTDEVICE", p.outputDevice);
    put("OUTPUTFORMAT", p.outputFormat);
    put("COLORTHEME", p.colorTheme);
    put("MONOSOURCE", p.monoSource);
    put("SOFTMIXING", p.softMixing);
    put("LEVELMETER", p.levelMeter);
    put("RCLICKDELAYSTART", p.rclickDelayStart);
    put("SCALE", p.scale);
    store.WriteString(kSectionPreferences, "DEFAULTSONG", p.defaultSong);
}

audio::WAVEFORMATEX OutputFormatFor(int outputFormat) {
    const std::uint32_t rate = outputFormat == 0 || outputFormat == 1 ? 22050 : 44100;
    const std::uint16_t bits = outputFormat == 0 ? 8 : 16;
    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, rate, bits, 2);
    return format;
}

bool ReadAutoPlay(SettingsStore& store) {
    return store.ReadInt(kSectionTrackOpen, "AUTOPLAY", 1) != 0;
}

void WriteAutoPlay(SettingsStore& store, bool on) {
    store.WriteInt(kSectionTrackOpen, "AUTOPLAY", on ? 1 : 0);
}

bool NoticeWanted(SettingsStore& store, unsigned textId) {
    return store.ReadInt(kSectionInformation, std::to_string(textId), 0) == 0;
}

void SwitchNoticeOff(SettingsStore& store, unsigned textId) {
    store.WriteInt(kSectionInformation, std::to_string(textId), 1);
}

}  // namespace tamboro::app
