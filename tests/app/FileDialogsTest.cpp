// The preferences dialog, the wave open dialog with its preview, the save
// dialogs' format chooser and extension switching.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>

#include "app/CMainFrame.h"
#include "app/QtSettingsStore.h"
#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/wave/Wave.h"
#include "dialogs/PreferencesDialog.h"
#include "dialogs/WaveFileDialogs.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

using dialogs::FormatChooser;
using dialogs::PreferencesDialog;

class FileDialogsTest : public ShellTest {};

// A store over a map (the dialogs only read and write through it).
class MapStore final : public SettingsStore {
  public:
    int ReadInt(std::string_view s, std::string_view k, int fallback) override {
        const auto it = ints.find(Key(s, k));
        return it == ints.end() ? fallback : it->second;
    }
    std::string ReadString(std::string_view s, std::string_view k,
                           std::string_view fallback) override {
        const auto it = strings.find(Key(s, k));
        return it == strings.end() ? std::string(fallback) : it->second;
    }
    void WriteInt(std::string_view s, std::string_view k, int v) override { ints[Key(s, k)] = v; }
    void WriteString(std::string_view s, std::string_view k, std::string_view v) override {
        strings[Key(s, k)] = std::string(v);
    }
    static std::string Key(std::string_view s, std::string_view k) {
        return std::string(s) + "/" + std::string(k);
    }
    std::map<std::string, int> ints;
    std::map<std::string, std::string> strings;
};

std::string Described(const char* tag, int rate, int bits, unsigned channelsText) {
    char text[256];
    std::snprintf(text, sizeof text, platform::LoadString(132).c_str(), tag, rate, bits,
                  platform::LoadString(channelsText).c_str());
    return text;
}

// --- Preferences -------------------------------------------------------------------------------

TEST_F(FileDialogsTest, PreferencesListTheDevicesAndSelectTheStoredOne) {
    MapStore store;
    store.ints["PREFERENCES/OUTPUTDEVICE"] = 1;
    PreferencesDialog d(store, {"Prima", "Seconda", "Terza"}, nullptr);
    ASSERT_EQ(d.DeviceList()->count(), 3);
    EXPECT_EQ(d.DeviceList()->itemText(2), "Terza");
    EXPECT_EQ(d.DeviceList()->currentIndex(), 1);
    // Defaults of a fresh installation.
    EXPECT_TRUE(d.FormatButton(1)->isChecked());
    EXPECT_EQ(d.ThemeList()->currentIndex(), 0);
    d.DeviceList()->setCurrentIndex(2);
    d.FormatButton(2)->setChecked(true);
    d.accept();
    EXPECT_EQ(store.ints["PREFERENCES/OUTPUTDEVICE"], 2);
    EXPECT_EQ(store.ints["PREFERENCES/OUTPUTFORMAT"], 2);
    EXPECT_EQ(store.ints["PREFERENCES/MONOSOURCE"], 1);
    EXPECT_EQ(store.ints["PREFERENCES/TOOLTIP"], 1);
}

TEST_F(FileDialogsTest, PreferencesWithoutDevicesOrWithAStoredIndexTooLarge) {
    MapStore store;
    store.ints["PREFERENCES/OUTPUTDEVICE"] = 7;
    {
        PreferencesDialog d(store, {"Sola"}, nullptr);
        EXPECT_EQ(d.DeviceList()->currentIndex(), -1);
    }
    PreferencesDialog none(store, {}, nullptr);
    EXPECT_EQ(none.DeviceList()->count(), 0);
    none.accept();
    EXPECT_EQ(store.ints["PREFERENCES/OUTPUTDEVICE"], -1);
}

TEST_F(FileDialogsTest, PreferencesClearTheDefaultSongAndKeepTheScale) {
    MapStore store;
    store.strings["PREFERENCES/DEFAULTSONG"] = "/songs/base.tbo";
    store.ints["PREFERENCES/SCALE"] = 3;
    PreferencesDialog d(store, {"A"}, nullptr);
    EXPECT_EQ(d.DefaultSongEdit()->text(), "/songs/base.tbo");
    EXPECT_EQ(d.ScaleList()->currentIndex(), 3);
    d.ClearButton()->click();
    d.accept();
    EXPECT_EQ(store.strings["PREFERENCES/DEFAULTSONG"], "");
    EXPECT_EQ(store.ints["PREFERENCES/SCALE"], 3);
}

TEST_F(FileDialogsTest, PreferencesRefuseAThemeWhoseBackgroundIsMissing) {
    Start();  // the program's resources are in place
    MapStore store;
    store.ints["PREFERENCES/COLORTHEME"] = 1;
    PreferencesDialog d(store, {"A"}, nullptr);
    // Every theme the program ships is there.
    for (int t = 0; t < kThemeCount; ++t)
        EXPECT_TRUE(d.themeExists(t)) << t;
    std::vector<unsigned> shown;
    d.message = [&](unsigned id) { shown.push_back(id); };
    d.themeExists = [](int theme) { return theme != 2; };
    d.ThemeList()->setCurrentIndex(2);
    d.ThemeList()->activated(2);
    EXPECT_EQ(shown, std::vector<unsigned>{1017});
    EXPECT_EQ(d.ThemeList()->currentIndex(), 1);
    d.ThemeList()->setCurrentIndex(3);
    d.ThemeList()->activated(3);
    EXPECT_EQ(shown.size(), 1u);
    d.reject();
    EXPECT_EQ(store.ints.count("PREFERENCES/COLORTHEME"), 1u);
    EXPECT_EQ(store.ints["PREFERENCES/COLORTHEME"], 1);  // cancelled: nothing written
}

// --- The wave open dialog
// -------------------------------------------------------------------------

std::string MakeLoop(const std::string& path, std::uint32_t rate, std::uint16_t bits,
                     std::uint16_t channels, std::uint32_t frames) {
    audio::WAVEFORMATEX f{};
    audio::MakePcmFormat(f, rate, bits, channels);
    audio::Wave w;
    EXPECT_EQ(w.Create(f, frames), 1);
    w.SetInfo("INAM", "Titolo del loop");
    w.SetInfo("IENG", "Tecnico");
    EXPECT_EQ(audio::SaveWave(w, path, audio::kTypeWav), audio::SoundResult::Ok);
    return path;
}

TEST_F(FileDialogsTest, WaveOpenPreviewShowsTheFileAndPlaysOnlyWhenAsked) {
    CMainFrame& frame = Start();
    audio::OutputDeviceInterface* device = frame.Device();
    const std::string loop = MakeLoop(Path("loop.wav"), 22050, 8, 1, 22050 * 3 / 2);
    {
        dialogs::WaveOpenDialog d(device, frame.Store(), &frame);
        EXPECT_TRUE(d.AutoPlay());  // default on
        ASSERT_GE(d.PreviewSlot(), 0);
        d.AutoPlayBox()->setChecked(false);
        d.Select(QString::fromStdString(loop));
        EXPECT_EQ(d.FormatText().toStdString(), Described("PCM", 22050, 8, 130));
        EXPECT_EQ(d.LengthText(), "1.5000 sec");
        EXPECT_EQ(d.TitleText(), "Titolo del loop");
        EXPECT_EQ(d.EngineerText(), "Tecnico");
        EXPECT_TRUE(d.PlayButton()->isEnabled());
        EXPECT_EQ(device->IsPlaying(d.PreviewSlot()), 0);
        d.PlayButton()->click();
        EXPECT_EQ(device->IsPlaying(d.PreviewSlot()), 1);
        d.StopButton()->click();
        EXPECT_EQ(device->IsPlaying(d.PreviewSlot()), 0);

        // A file that cannot be read empties the texts; the dialog stays usable.
        tamboro::test::WriteAll(Path("bad.wav"), {'R', 'I', 'F', 'F', 1, 0, 0, 0});
        d.Select(QString::fromStdString(Path("bad.wav")));
        EXPECT_TRUE(d.FormatText().isEmpty());
        EXPECT_TRUE(d.TitleText().isEmpty());
        EXPECT_FALSE(d.PlayButton()->isEnabled());
        d.EffectBox()->setChecked(true);
        EXPECT_TRUE(d.Effect());
    }
    // Auto Play off survives into the next dialog (and the settings file).
    dialogs::WaveOpenDialog again(device, frame.Store(), &frame);
    EXPECT_FALSE(again.AutoPlay());
    EXPECT_EQ(frame.Store().ReadInt(kSectionTrackOpen, "AUTOPLAY", 1), 0);
    again.AutoPlayBox()->setChecked(true);
    again.Select(QString::fromStdString(loop));
    EXPECT_EQ(device->IsPlaying(again.PreviewSlot()), 1);
}

TEST_F(FileDialogsTest, AutoPlayAndStretchSurviveARestart) {
    {
        CMainFrame& frame = Start();
        dialogs::WaveOpenDialog d(frame.Device(), frame.Store(), &frame);
        d.AutoPlayBox()->setChecked(false);
        d.StretchBox()->setChecked(true);
        EXPECT_TRUE(d.Stretch());
        d.EffectBox()->setChecked(true);
        EXPECT_FALSE(d.Stretch());  // never for an effect
    }
    App().ExitInstance();
    CMainFrame& frame = Start();
    dialogs::WaveOpenDialog d(frame.Device(), frame.Store(), &frame);
    EXPECT_FALSE(d.AutoPlay());
    EXPECT_TRUE(d.StretchBox()->isChecked());
    EXPECT_EQ(d.StretchBox()->text().toStdString(), platform::LoadString(170));
}

// --- The save dialogs
// --------------------------------------------------------------------------------

std::vector<audio::WAVEFORMATEX> Flatten(const audio::WAVEFORMATEX& source) {
    std::vector<audio::WAVEFORMATEX> all;
    for (const auto& g : audio::ConvertibleFormats(source))
        all.insert(all.end(), g.formats.begin(), g.formats.end());
    return all;
}

TEST_F(FileDialogsTest, ChooserListsWhatAnEightBitMonoLoopConvertsTo) {
    audio::WAVEFORMATEX loop{};
    audio::MakePcmFormat(loop, 22050, 8, 1);
    FormatChooser chooser(loop, loop, nullptr);
    EXPECT_EQ(chooser.windowTitle().toStdString(), platform::LoadString(144));
    const auto expected = Flatten(loop);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(chooser.Formats().size(), expected.size());
    ASSERT_EQ(chooser.List()->count(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(audio::SameCoding(chooser.Formats()[i], expected[i]));
        EXPECT_EQ(chooser.List()->item(static_cast<int>(i))->text().toStdString(),
                  dialogs::FormatDescription(expected[i]));
    }
    // The loop's own format is offered and starts selected.
    ASSERT_TRUE(chooser.Chosen().has_value());
    EXPECT_TRUE(audio::SameCoding(*chooser.Chosen(), loop));
    EXPECT_EQ(chooser.List()->currentItem()->text().toStdString(), Described("PCM", 22050, 8, 130));
}

TEST_F(FileDialogsTest, SongSaveChooserStartsFromTheSixteenBitStereoMix) {
    dialogs::SongSaveDialog d("", nullptr);
    audio::WAVEFORMATEX mix{};
    audio::MakePcmFormat(mix, 44100, 16, 2);
    EXPECT_EQ(d.Option().Description()->text().toStdString(), Described("PCM", 44100, 16, 131));
    EXPECT_FALSE(d.HasFormat());
    std::size_t listed = 0;
    d.Option().runChooser = [&](FormatChooser& chooser) {
        listed = chooser.Formats().size();
        EXPECT_TRUE(audio::SameCoding(*chooser.Chosen(), mix));
        // Pick the first mono format.
        for (int i = 0; i < chooser.List()->count(); ++i) {
            if (chooser.Formats()[static_cast<std::size_t>(i)].nChannels == 1) {
                chooser.List()->setCurrentRow(i);
                break;
            }
        }
        return true;
    };
    d.Option().OptionsButton()->click();
    EXPECT_EQ(listed, Flatten(mix).size());
    ASSERT_TRUE(d.HasFormat());
    EXPECT_EQ(d.Format().nChannels, 1);
    EXPECT_EQ(d.Option().Description()->text().toStdString(),
              dialogs::FormatDescription(d.Format()));

    // A cancelled chooser keeps the choice.
    const audio::WAVEFORMATEX before = d.Format();
    d.Option().runChooser = [](FormatChooser& chooser) {
        chooser.List()->setCurrentRow(0);
        return false;
    };
    d.Option().OptionsButton()->click();
    EXPECT_TRUE(audio::SameCoding(d.Format(), before));
}

TEST_F(FileDialogsTest, SwitchingTheSongSaveTypeSwitchesTheExtension) {
    dialogs::SongSaveDialog d("", nullptr);
    EXPECT_EQ(d.windowTitle().toStdString(), platform::LoadString(165));
    d.SetNameText("brano.tbo");
    auto* types = d.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    types->setCurrentIndex(1);
    types->activated(1);  // as the user's choice arrives
    EXPECT_EQ(d.NameText(), "brano.wav");
    types->setCurrentIndex(0);
    types->activated(0);
    EXPECT_EQ(d.NameText(), "brano.tbo");
    d.SetNameText("senza");
    d.OnTypeChosen(1);
    EXPECT_EQ(d.NameText(), "senza.wav");
    EXPECT_FALSE(d.MixOnly());
    d.MixOnlyBox()->setChecked(true);
    EXPECT_TRUE(d.MixOnly());
}

TEST_F(FileDialogsTest, WaveSaveDialogDescribesTheLoop) {
    audio::WAVEFORMATEX loop{};
    audio::MakePcmFormat(loop, 22050, 8, 1);
    dialogs::WaveSaveDialog d("Cassa", loop, nullptr);
    EXPECT_EQ(d.Option().Description()->text().toStdString(), Described("PCM", 22050, 8, 130));
    EXPECT_FALSE(d.HasFormat());
}

}  // namespace
}  // namespace tamboro::app::test
