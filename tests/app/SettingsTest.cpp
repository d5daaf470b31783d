// Settings in the user's INI file: defaults, damage, the OUTPUTFORMAT rule,
// and the machine-wide folders.
#include <QDir>
#include <QFile>

#include "app/QtSettingsStore.h"
#include "app/Registry.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

class SettingsTest : public ShellTest {};

TEST_F(SettingsTest, FileLivesUnderTheXdgConfigFolderAndStartsWithDefaults) {
    EXPECT_EQ(UserSettingsPath().toStdString(), ConfigFile());
    QtSettingsStore store;
    EXPECT_FALSE(store.Damaged());
    EXPECT_EQ(ReadPreferences(store), Preferences());
    store.WriteInt("PREFERENCES", "COLORTHEME", 2);
    QFile f(QString::fromStdString(ConfigFile()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains("[PREFERENCES]")) << text.toStdString();
    EXPECT_TRUE(text.contains("COLORTHEME=2")) << text.toStdString();
}

TEST_F(SettingsTest, ValuesWrittenByHandAreRead) {
    WriteConfig(
        "[PREFERENCES]\nTOOLTIP=0\nCOLORTHEME=3\nLEVELMETER=0\nDEFAULTSONG=/x/y.tbo\n"
        "[INFORMATION]\n2000=1\n[TRACKOPEN]\nAUTOPLAY=0\n");
    QtSettingsStore store;
    const Preferences p = ReadPreferences(store);
    EXPECT_EQ(p.tooltip, 0);
    EXPECT_EQ(p.colorTheme, 3);
    EXPECT_EQ(p.levelMeter, 0);
    EXPECT_EQ(p.outputFormat, 1);  // not in the file: its default
    EXPECT_EQ(p.defaultSong, "/x/y.tbo");
    EXPECT_FALSE(NoticeWanted(store, 2000));
    EXPECT_FALSE(ReadAutoPlay(store));
}

TEST_F(SettingsTest, DamagedValuesGiveTheirDefaults) {
    WriteConfig("[PREFERENCES]\nTOOLTIP=yes\nCOLORTHEME=99\nOUTPUTFORMAT=\nSCALE=2x\n");
    QtSettingsStore store;
    const Preferences p = ReadPreferences(store);
    EXPECT_EQ(p.tooltip, 1);
    EXPECT_EQ(p.colorTheme, 0);
    EXPECT_EQ(p.outputFormat, 1);
    EXPECT_EQ(p.scale, 0);
}

TEST_F(SettingsTest, DamagedFileGivesDefaultsIsKeptAsideAndWritesStillWork) {
    // Binary rubbish with unbalanced sections and invalid UTF-8.
    std::string rubbish = "[PREFERENCES\n\xff\xfe\x00\x01=COLORTHEME=3\n[[[\n";
    rubbish += std::string("\0\0\x80\x81", 4);
    WriteConfig(rubbish);
    QtSettingsStore store;
    const Preferences p = ReadPreferences(store);
    EXPECT_EQ(p, Preferences());
    store.WriteInt("PREFERENCES", "COLORTHEME", 1);
    QtSettingsStore again;
    EXPECT_EQ(ReadPreferences(again).colorTheme, 1);
}

TEST_F(SettingsTest, UnreadableFileGivesDefaultsWithoutCrashing) {
    // A folder where the file should be cannot be read as settings.
    QDir().mkpath(QString::fromStdString(ConfigFile()));
    QtSettingsStore store;
    EXPECT_TRUE(store.Damaged());
    EXPECT_EQ(ReadPreferences(store), Preferences());
    store.WriteInt("PREFERENCES", "TOOLTIP", 0);  // ignored, no crash
    EXPECT_EQ(store.ReadInt("PREFERENCES", "TOOLTIP", 7), 7);
}

TEST_F(SettingsTest, OutputFormatFiveOpensTheDeviceAt44100Hz16Bits) {
    WriteConfig("[PREFERENCES]\nOUTPUTFORMAT=5\n");
    CMainFrame& frame = Start();
    ASSERT_NE(backend, nullptr);
    const auto f = frame.Device()->GetFormat();
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(backend->OpenedFormat().nSamplesPerSec, 44100u);
}

TEST_F(SettingsTest, OutputFormatZeroOpensTheDeviceAt22050Hz8Bits) {
    WriteConfig("[PREFERENCES]\nOUTPUTFORMAT=0\n");
    CMainFrame& frame = Start();
    const auto f = frame.Device()->GetFormat();
    EXPECT_EQ(f.nSamplesPerSec, 22050u);
    EXPECT_EQ(f.wBitsPerSample, 8);
    EXPECT_EQ(f.nChannels, 2);
}

TEST_F(SettingsTest, MachineFoldersComeFromTheSystemConfigWithOneTrailingSlash) {
    EXPECT_EQ(MachineSettingsPath().toStdString(),
              m_dir.Path() + "/etc/Corvane Software/Tamboro.ini");
    EXPECT_EQ(MachineFolder("EXEPATH", "/fallback"), "/fallback/");
    QDir().mkpath(QString::fromStdString(m_dir.Path() + "/etc/Corvane Software"));
    ASSERT_EQ(WriteRegistryString(RegistryRoot::LocalMachine, kMachinePaths, "EXEPATH", "/opt/t/"),
              1);
    ASSERT_EQ(WriteRegistryString(RegistryRoot::LocalMachine, kMachinePaths, "INSTALLPATH",
                                  "/opt/t/share"),
              1);
    EXPECT_EQ(MachineFolder("EXEPATH", "/fallback"), "/opt/t/");
    EXPECT_EQ(MachineFolder("INSTALLPATH", "/fallback"), "/opt/t/share/");
    std::string value = "untouched";
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::LocalMachine, kMachinePaths, "NONE", &value), 1);
    EXPECT_EQ(value, "untouched");
    EXPECT_EQ(ReadRegistryValue(RegistryRoot::LocalMachine, kMachinePaths, "EXEPATH", &value, 4),
              1);
    EXPECT_EQ(value, "/op");  // a buffer of 4 holds 3 characters
}

TEST_F(SettingsTest, StartUpTakesTheMachineFoldersAndMovesIntoTheInstallFolder) {
    const std::string install = m_dir.Path() + "/home";
    QDir().mkpath(QString::fromStdString(m_dir.Path() + "/etc/Corvane Software"));
    WriteRegistryString(RegistryRoot::LocalMachine, kMachinePaths, "EXEPATH", "/opt/bin");
    WriteRegistryString(RegistryRoot::LocalMachine, kMachinePaths, "INSTALLPATH", install);
    const QString before = QDir::currentPath();
    Start();
    EXPECT_EQ(App().ExePath(), "/opt/bin/");
    EXPECT_EQ(App().InstallPath(), install + "/");
    EXPECT_EQ(QDir::currentPath().toStdString(), install);
    QDir::setCurrent(before);
}

}  // namespace
}  // namespace tamboro::app::test
