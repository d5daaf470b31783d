#include "dialogs/WaveFileDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "app/core/Preferences.h"
#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/output/OutputDeviceInterface.h"
#include "dialogs/DialogSkin.h"
#include "platform/StringTable.h"

namespace tamboro::dialogs {
namespace {

bool English() {
    return platform::CurrentLanguage() == platform::Language::English;
}

audio::WAVEFORMATEX SongMixFormat() {
    audio::WAVEFORMATEX f{};
    audio::MakePcmFormat(f, 44100, 16, 2);
    return f;
}

}  // namespace

std::string FormatDescription(const audio::WAVEFORMATEX& format) {
    const std::uint16_t tag = audio::EffectiveTag(format).value_or(format.wFormatTag);
    std::string name(audio::FormatTagName(tag));
    if (name.empty()) name = std::to_string(tag);
    char text[256];
    std::snprintf(text, sizeof text, platform::LoadString(132).c_str(), name.c_str(),
                  static_cast<int>(format.nSamplesPerSec), static_cast<int>(format.wBitsPerSample),
                  platform::LoadString(format.nChannels == 1 ? 130 : 131).c_str());
    return text;
}

// --- The format chooser --------------------------------------------------------------------

FormatChooser::FormatChooser(const audio::WAVEFORMATEX& source, const audio::WAVEFORMATEX& current,
                             QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(Str(144));
    m_list = new QListWidget(this);
    int select = 0;
    for (const audio::ChooserGroup& group : audio::ConvertibleFormats(source)) {
        for (const audio::WAVEFORMATEX& f : group.formats) {
            if (audio::SameCoding(f, current)) select = static_cast<int>(m_formats.size());
            m_formats.push_back(f);
            m_list->addItem(QString::fromStdString(FormatDescription(f)));
        }
    }
    if (!m_formats.empty()) m_list->setCurrentRow(select);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(420, 360);
}

std::optional<audio::WAVEFORMATEX> FormatChooser::Chosen() const {
    const int row = m_list->currentRow();
    if (row < 0 || row >= static_cast<int>(m_formats.size())) return std::nullopt;
    return m_formats[static_cast<std::size_t>(row)];
}

// --- The common file dialog ---------------------------------------------------------------

ExtendedFileDialog::ExtendedFileDialog(QWidget* parent, const QString& title, unsigned filterId,
                                       bool save)
    : QFileDialog(parent, title) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    setNameFilter(QtFilter(filterId));
}

std::string ExtendedFileDialog::ChosenPath() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? std::string() : files.front().toStdString();
}

void ExtendedFileDialog::AddPanel(QWidget* panel) {
    if (auto* grid = qobject_cast<QGridLayout*>(layout()); grid != nullptr) {
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (layout() != nullptr) {
        layout()->addWidget(panel);
    }
}

// --- The format option of the save dialogs ------------------------------------------------

FormatOption::FormatOption(const audio::WAVEFORMATEX& source, QWidget* panel)
    : QObject(panel), m_source(source), m_chosen(source) {
    m_label = new QLabel(QString::fromStdString(FormatDescription(source)), panel);
    m_button = new QPushButton(English() ? "&Options" : "&Opzioni", panel);
    auto* caption = new QLabel(English() ? "Format:" : "Formato:", panel);
    auto* row = new QHBoxLayout;
    row->addWidget(caption);
    row->addWidget(m_label, 1);
    row->addWidget(m_button);
    if (auto* box = qobject_cast<QBoxLayout*>(panel->layout()); box != nullptr) box->addLayout(row);
    runChooser = [](FormatChooser& chooser) { return chooser.exec() == QDialog::Accepted; };
    connect(m_button, &QPushButton::clicked, this, &FormatOption::Choose);
}

void FormatOption::Choose() {
    FormatChooser chooser(m_source, m_chosen, m_button->window());
    if (!runChooser(chooser)) return;  // cancelled: the choice stays
    const auto chosen = chooser.Chosen();
    if (!chosen) return;
    m_chosen = *chosen;
    m_changed = !audio::SameCoding(m_chosen, m_source);
    m_label->setText(QString::fromStdString(FormatDescription(m_chosen)));
}

// --- Songs ----------------------------------------------------------------------------------

SongLoadDialog::SongLoadDialog(QWidget* parent) : ExtendedFileDialog(parent, Str(128), 138, false) {
    setDefaultSuffix("tbo");
    auto* panel = new QWidget(this);
    auto* box = new QVBoxLayout(panel);
    m_mixOnly = new QCheckBox(
        English() ? "Load the mix information only" : "Carica solo informazioni mixate", panel);
    box->addWidget(m_mixOnly);
    AddPanel(panel);
}

bool SongLoadDialog::MixOnly() const {
    return m_mixOnly->isChecked();
}

SongSaveDialog::SongSaveDialog(const std::string& initialPath, QWidget* parent)
    : ExtendedFileDialog(parent, Str(165), 159, true) {
    setDefaultSuffix("wav");
    setOption(QFileDialog::DontConfirmOverwrite, false);
    setOption(QFileDialog::ReadOnly, false);
    auto* panel = new QWidget(this);
    auto* box = new QVBoxLayout(panel);
    m_option = new FormatOption(SongMixFormat(), panel);
    m_mixOnly = new QCheckBox(
        English() ? "Save the mix information only" : "Salva solo informazioni mixate", panel);
    box->addWidget(m_mixOnly);
    AddPanel(panel);
    if (!initialPath.empty()) selectFile(QString::fromStdString(initialPath));
    connect(this, &QFileDialog::filterSelected, this,
            [this](const QString& filter) { OnTypeChosen(nameFilters().indexOf(filter)); });
}

bool SongSaveDialog::MixOnly() const {
    return m_mixOnly->isChecked();
}

QString SongSaveDialog::NameText() const {
    auto* edit = findChild<QLineEdit*>("fileNameEdit");
    return edit != nullptr ? edit->text() : QString();
}

void SongSaveDialog::SetNameText(const QString& text) {
    if (auto* edit = findChild<QLineEdit*>("fileNameEdit"); edit != nullptr) edit->setText(text);
}

void SongSaveDialog::OnTypeChosen(int index) {
    if (index < 0) return;
    const QString wanted = index == 0 ? ".tbo" : ".wav";
    setDefaultSuffix(wanted.mid(1));
    QString name = NameText();
    if (name.isEmpty()) return;
    const int dot = name.lastIndexOf('.');
    const int slash = name.lastIndexOf('/');
    if (dot > slash && dot >= 0) name.truncate(dot);
    SetNameText(name + wanted);
}

// --- Loops ------------------------------------------------------------------------------------

WaveSaveDialog::WaveSaveDialog(const std::string& name, const audio::WAVEFORMATEX& loopFormat,
                               QWidget* parent)
    : ExtendedFileDialog(parent, Str(128), 163, true) {
    setDefaultSuffix("wav");
    auto* panel = new QWidget(this);
    new QVBoxLayout(panel);
    m_option = new FormatOption(loopFormat, panel);
    AddPanel(panel);
    if (!name.empty()) selectFile(QString::fromStdString(name) + ".wav");
}

WaveOpenDialog::WaveOpenDialog(audio::OutputDeviceInterface* device, app::SettingsStore& settings,
                               QWidget* parent)
    : ExtendedFileDialog(parent, Str(128), 129, false), m_device(device), m_settings(settings) {
    auto* group = new QGroupBox(English() ? "Current Wave" : "Wave Corrente", this);
    auto* grid = new QGridLayout(group);
    m_format = new QLabel(group);
    m_length = new QLabel(group);
    m_title = new QLabel(group);
    m_engineer = new QLabel(group);
    const std::pair<const char*, QLabel*> rows[] = {
        {English() ? "Format:" : "Formato:", m_format},
        {English() ? "Length:" : "Lunghezza:", m_length},
        {English() ? "Title:" : "Titolo:", m_title},
        {English() ? "Engineer:" : "Bearbeiter:", m_engineer}};
    int row = 0;
    for (const auto& [caption, label] : rows) {
        grid->addWidget(new QLabel(caption, group), row, 0);
        grid->addWidget(label, row, 1);
        ++row;
    }
    m_play = new QPushButton("&Play", group);
    m_stop = new QPushButton("&Stop", group);
    m_effect =
        new QCheckBox(English() ? "Open as effect channel" : "Aprire come canali effetti", group);
    m_stretch = new QCheckBox(Str(170), group);
    m_autoPlay = new QCheckBox("Auto Play", group);
    m_autoPlay->setChecked(app::ReadAutoPlay(settings));
    m_stretch->setChecked(settings.ReadInt(app::kSectionTrackOpen, "STRETCH", 0) != 0);
    grid->addWidget(m_play, 0, 2);
    grid->addWidget(m_stop, 1, 2);
    grid->addWidget(m_effect, 2, 2);
    grid->addWidget(m_autoPlay, 3, 2);
    grid->addWidget(m_stretch, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    m_play->setEnabled(false);
    m_stop->setEnabled(false);
    AddPanel(group);
    if (m_device != nullptr) m_slot = m_device->AllocSlot();
    connect(m_play, &QPushButton::clicked, this, &WaveOpenDialog::Play);
    connect(m_stop, &QPushButton::clicked, this, &WaveOpenDialog::Stop);
    connect(this, &QFileDialog::currentChanged, this, &WaveOpenDialog::Select);
}

WaveOpenDialog::~WaveOpenDialog() {
    app::WriteAutoPlay(m_settings, m_autoPlay->isChecked());
    m_settings.WriteInt(app::kSectionTrackOpen, "STRETCH", m_stretch->isChecked() ? 1 : 0);
    ClearPreview();
    if (m_device != nullptr && m_slot >= 0) m_device->FreeSlot(m_slot);
}

void WaveOpenDialog::ClearPreview() {
    if (m_device != nullptr && m_slot >= 0) m_device->Unload(m_slot);
    m_wave.reset();
    m_format->clear();
    m_length->clear();
    m_title->clear();
    m_engineer->clear();
    m_play->setEnabled(false);
    m_stop->setEnabled(false);
}

void WaveOpenDialog::Select(const QString& path) {
    ClearPreview();
    if (path.isEmpty() || QFileInfo(path).isDir()) return;
    auto wave = std::make_unique<audio::Wave>();
    if (audio::LoadWave(*wave, path.toStdString(), 0) != audio::SoundResult::Ok ||
        wave->Format() == nullptr)
        return;  // nothing to show; the dialog stays usable
    const audio::WAVEFORMATEX& f = *wave->Format();
    m_format->setText(QString::fromStdString(FormatDescription(f)));
    if (f.nAvgBytesPerSec != 0) {
        char text[64];
        std::snprintf(text, sizeof text, platform::LoadString(136).c_str(),
                      static_cast<double>(wave->DataBytes()) / f.nAvgBytesPerSec);
        m_length->setText(text);
    }
    if (const std::string* t = wave->GetInfo("INAM"); t != nullptr)
        m_title->setText(QString::fromStdString(*t));
    if (const std::string* t = wave->GetInfo("IENG"); t != nullptr)
        m_engineer->setText(QString::fromStdString(*t));
    m_wave = std::move(wave);
    if (m_device == nullptr || m_slot < 0) return;
    if (m_device->LoadMemory(m_slot, 1, &f, m_wave->Data(), m_wave->DataBytes(), 1, 0) !=
        audio::OutputDeviceInterface::kLoadOk)
        return;
    m_play->setEnabled(true);
    m_stop->setEnabled(true);
    if (AutoPlay()) Play();
}

void WaveOpenDialog::Play() {
    if (m_device == nullptr || m_slot < 0 || m_wave == nullptr) return;
    constexpr int kSame = audio::OutputDeviceInterface::kUnchanged;
    m_device->Play(m_slot, 0, kSame, kSame, kSame, 0);
}

void WaveOpenDialog::Stop() {
    if (m_device != nullptr && m_slot >= 0) m_device->Stop(m_slot);
}

bool WaveOpenDialog::Effect() const {
    return m_effect->isChecked();
}
bool WaveOpenDialog::Stretch() const {
    return m_stretch->isChecked() && !m_effect->isChecked();
}
bool WaveOpenDialog::AutoPlay() const {
    return m_autoPlay->isChecked();
}
QString WaveOpenDialog::FormatText() const {
    return m_format->text();
}
QString WaveOpenDialog::LengthText() const {
    return m_length->text();
}
QString WaveOpenDialog::TitleText() const {
    return m_title->text();
}
QString WaveOpenDialog::EngineerText() const {
    return m_engineer->text();
}

}  // namespace tamboro::dialogs
