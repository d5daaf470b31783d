#pragma once
// The preferences dialog: output device and format, mono sources, software
// mixing, console theme and scale, tooltips, level meters, the right-click
// start and the default song. It reads the settings as it opens and writes
// all of them on OK.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/core/Preferences.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace tamboro::dialogs {

class PreferencesDialog final : public QDialog {
    Q_OBJECT
  public:
    // `devices`: the output device's names in device order.
    PreferencesDialog(app::SettingsStore& store, std::vector<std::string> devices, QWidget* parent);

    // The values the controls hold now.
    app::Preferences Values() const;
    // OK: every setting written, then closed.
    void accept() override;

    QComboBox* DeviceList() const { return m_device; }
    QComboBox* ThemeList() const { return m_theme; }
    QComboBox* ScaleList() const { return m_scale; }
    QLineEdit* DefaultSongEdit() const { return m_defaultSong; }
    QPushButton* ClearButton() const { return m_clear; }
    QRadioButton* FormatButton(int i) const { return m_format[i]; }

    // Whether a theme's background exists (the program's resources unless
    // replaced), and the message shown when it does not.
    std::function<bool(int theme)> themeExists;
    std::function<void(unsigned textId)> message;
    // The default-song browser (a file dialog unless replaced).
    std::function<std::string(const std::string& current)> browse;

  private:
    void OnThemeChosen(int index);

    app::SettingsStore& m_store;
    app::Preferences m_initial;
    int m_themeShown = 0;
    QComboBox* m_device = nullptr;
    QRadioButton* m_format[3] = {};
    QCheckBox* m_mono = nullptr;
    QCheckBox* m_soft = nullptr;
    QComboBox* m_theme = nullptr;
    QComboBox* m_scale = nullptr;
    QCheckBox* m_tooltip = nullptr;
    QCheckBox* m_meter = nullptr;
    QCheckBox* m_rclick = nullptr;
    QLineEdit* m_defaultSong = nullptr;
    QPushButton* m_clear = nullptr;
};

}  // namespace tamboro::dialogs
