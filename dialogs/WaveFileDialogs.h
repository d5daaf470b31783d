#pragma once
// The file dialogs of loops and songs: Qt's own (non-native) file dialog
// with a panel of ours below it. The wave open dialog previews the selected
// file through a slot of the output device; the save dialogs offer the
// output-format chooser; the song dialogs carry the mix-only box.
#include <QDialog>
#include <QFileDialog>
#include <optional>
#include <string>
#include <vector>

#include "audio/wave/Wave.h"
#include "audio/wave/WaveFormat.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace tamboro::audio {
class OutputDeviceInterface;
}
namespace tamboro::app {
class SettingsStore;
}

namespace tamboro::dialogs {

// String 132 for `format`: tag name, rate, bits, string 130 or 131.
std::string FormatDescription(const audio::WAVEFORMATEX& format);

// The output-format chooser: every format the converter can produce from
// the source, each described as FormatDescription does.
class FormatChooser final : public QDialog {
    Q_OBJECT
  public:
    FormatChooser(const audio::WAVEFORMATEX& source, const audio::WAVEFORMATEX& current,
                  QWidget* parent);
    const std::vector<audio::WAVEFORMATEX>& Formats() const { return m_formats; }
    QListWidget* List() const { return m_list; }
    // The selected format; nothing when the list is empty.
    std::optional<audio::WAVEFORMATEX> Chosen() const;

  private:
    std::vector<audio::WAVEFORMATEX> m_formats;
    QListWidget* m_list = nullptr;
};

// The common part of the dialogs below.
class ExtendedFileDialog : public QFileDialog {
    Q_OBJECT
  public:
    ExtendedFileDialog(QWidget* parent, const QString& title, unsigned filterId, bool save);
    // The one chosen file, empty when none.
    std::string ChosenPath() const;

  protected:
    // Puts `panel` below the dialog's own controls.
    void AddPanel(QWidget* panel);
};

// The "&Opzioni" part of the save dialogs: the description and the chooser.
class FormatOption : public QObject {
    Q_OBJECT
  public:
    FormatOption(const audio::WAVEFORMATEX& source, QWidget* panel);
    QLabel* Description() const { return m_label; }
    QPushButton* OptionsButton() const { return m_button; }
    const audio::WAVEFORMATEX& Format() const { return m_chosen; }
    bool Changed() const { return m_changed; }
    // Seam: runs the chooser (exec unless replaced); false keeps the choice.
    std::function<bool(FormatChooser&)> runChooser;
    void Choose();

  private:
    audio::WAVEFORMATEX m_source;
    audio::WAVEFORMATEX m_chosen;
    bool m_changed = false;
    QLabel* m_label = nullptr;
    QPushButton* m_button = nullptr;
};

class SongLoadDialog final : public ExtendedFileDialog {
    Q_OBJECT
  public:
    explicit SongLoadDialog(QWidget* parent);
    bool MixOnly() const;
    QCheckBox* MixOnlyBox() const { return m_mixOnly; }

  private:
    QCheckBox* m_mixOnly = nullptr;
};

class SongSaveDialog final : public ExtendedFileDialog {
    Q_OBJECT
  public:
    SongSaveDialog(const std::string& initialPath, QWidget* parent);
    bool MixOnly() const;
    QCheckBox* MixOnlyBox() const { return m_mixOnly; }
    FormatOption& Option() { return *m_option; }
    bool HasFormat() const { return m_option->Changed(); }
    audio::WAVEFORMATEX Format() const { return m_option->Format(); }
    // The name in the file-name box.
    QString NameText() const;
    void SetNameText(const QString& text);
    // The type switch: the name takes ".tbo" (index 0) or ".wav" (index 1).
    void OnTypeChosen(int index);

  private:
    QCheckBox* m_mixOnly = nullptr;
    FormatOption* m_option = nullptr;
};

class WaveSaveDialog final : public ExtendedFileDialog {
    Q_OBJECT
  public:
    WaveSaveDialog(const std::string& name, const audio::WAVEFORMATEX& loopFormat, QWidget* parent);
    FormatOption& Option() { return *m_option; }
    bool HasFormat() const { return m_option->Changed(); }
    audio::WAVEFORMATEX Format() const { return m_option->Format(); }

  private:
    FormatOption* m_option = nullptr;
};

class WaveOpenDialog final : public ExtendedFileDialog {
    Q_OBJECT
  public:
    // `device` may be null (no preview). Reads TRACKOPEN/AUTOPLAY.
    WaveOpenDialog(audio::OutputDeviceInterface* device, app::SettingsStore& settings,
                   QWidget* parent);
    // Writes AUTOPLAY back and frees the preview slot.
    ~WaveOpenDialog() override;

    // The selection changed to `path`: previews it.
    void Select(const QString& path);
    void Play();
    void Stop();

    bool Effect() const;
    bool Stretch() const;
    bool AutoPlay() const;
    QCheckBox* EffectBox() const { return m_effect; }
    QCheckBox* StretchBox() const { return m_stretch; }
    QCheckBox* AutoPlayBox() const { return m_autoPlay; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* StopButton() const { return m_stop; }
    QString FormatText() const;
    QString LengthText() const;
    QString TitleText() const;
    QString EngineerText() const;
    int PreviewSlot() const { return m_slot; }

  private:
    void ClearPreview();

    audio::OutputDeviceInterface* m_device;
    app::SettingsStore& m_settings;
    int m_slot = -1;
    std::unique_ptr<audio::Wave> m_wave;  // the samples the slot plays
    QLabel* m_format = nullptr;
    QLabel* m_length = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_engineer = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_stop = nullptr;
    QCheckBox* m_effect = nullptr;
    QCheckBox* m_stretch = nullptr;
    QCheckBox* m_autoPlay = nullptr;
};

}  // namespace tamboro::dialogs
