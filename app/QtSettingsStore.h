#pragma once
// The user's settings in an INI file under the XDG configuration folder:
// $XDG_CONFIG_HOME/<organisation>/<application>.ini, organisation string 160
// and application string 57344. The machine-wide values come from the first
// folder of $XDG_CONFIG_DIRS (/etc/xdg) in the same form.
//
// A damaged or unreadable file gives every default and a debug-log line; a
// damaged one is kept beside the new one as "<name>.damaged" so that the
// next write does not silently take the user's old values away.
#include <QSettings>
#include <QString>
#include <memory>

#include "app/core/Preferences.h"

namespace tamboro::app {

// The user's settings file, from the environment at the time of the call.
QString UserSettingsPath();
// The machine-wide settings file.
QString MachineSettingsPath();

class QtSettingsStore final : public SettingsStore {
  public:
    // The user's file, or another (tests).
    explicit QtSettingsStore(const QString& path = UserSettingsPath());
    ~QtSettingsStore() override;

    int ReadInt(std::string_view section, std::string_view key, int fallback) override;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) override;
    void WriteInt(std::string_view section, std::string_view key, int value) override;
    void WriteString(std::string_view section, std::string_view key,
                     std::string_view value) override;

    // Whether the file could not be used as it was found.
    bool Damaged() const { return m_damaged; }
    const QString& Path() const { return m_path; }

  private:
    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    bool m_damaged = false;
    bool m_readable = true;
};

}  // namespace tamboro::app
