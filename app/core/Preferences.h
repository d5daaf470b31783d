#pragma once
// The user's settings: sections, keys, types and defaults, read through a
// store the desktop program implements over its toolkit (an INI file in the
// user's configuration folder). Toolkit-free so that the rules test alone.
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/wave/WaveFormat.h"

namespace tamboro::app {

inline constexpr const char* kSectionPreferences = "PREFERENCES";
inline constexpr const char* kSectionInformation = "INFORMATION";
inline constexpr const char* kSectionTrackOpen = "TRACKOPEN";

// Where settings live. A store that cannot read its file answers every
// default (and says why in the debug log); it never fails its caller.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual int ReadInt(std::string_view section, std::string_view key, int fallback) = 0;
    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view fallback) = 0;
    virtual void WriteInt(std::string_view section, std::string_view key, int value) = 0;
    virtual void WriteString(std::string_view section, std::string_view key,
                             std::string_view value) = 0;
};

// The eight integer settings in the frame's order, the console's scale and
// the default song. Defaults as a fresh installation has them.
struct Preferences {
    int tooltip = 1;           // TOOLTIP: the console's tooltips are active
    int outputDevice = 0;      // OUTPUTDEVICE: index into the device list
    int outputFormat = 1;      // OUTPUTFORMAT: 0, 1 or anything else (see OutputFormatFor)
    int colorTheme = 0;        // COLORTHEME: 0..3
    int monoSource = 1;        // MONOSOURCE
    int softMixing = 0;        // SOFTMIXING
    int levelMeter = 1;        // LEVELMETER
    int rclickDelayStart = 1;  // RCLICKDELAYSTART
    int scale = 0;             // SCALE: the console's whole zoom factor, 0 automatic
    std::string defaultSong;   // DEFAULTSONG: opened at start without a command-line song

    friend bool operator==(const Preferences&, const Preferences&) = default;
};

inline constexpr int kThemeCount = 4;
inline constexpr int kMaxScale = 4;

// Reads every key of PREFERENCES, each with its default. A theme outside
// 0..3 counts as 0 and a scale outside 0..4 as 0 (automatic), so a damaged
// value can never pick a skin or a size that does not exist.
Preferences ReadPreferences(SettingsStore& store);
void WritePreferences(SettingsStore& store, const Preferences& p);

// The output device's format for an OUTPUTFORMAT value: 0 gives 22050 Hz
// 8 bits, 1 gives 22050 Hz 16 bits, anything else 44100 Hz 16 bits; always
// stereo PCM.
audio::WAVEFORMATEX OutputFormatFor(int outputFormat);

// TRACKOPEN/AUTOPLAY (default 1): the wave open dialog plays each file it
// selects.
bool ReadAutoPlay(SettingsStore& store);
void WriteAutoPlay(SettingsStore& store, bool on);

// The information notices: INFORMATION/"<id>" = 1 switches notice `id` off
// for good.
bool NoticeWanted(SettingsStore& store, unsigned textId);
void SwitchNoticeOff(SettingsStore& store, unsigned textId);

}  // namespace tamboro::app
