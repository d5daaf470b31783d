#include "dialogs/PreferencesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "console/layout/SkinImages.h"
#include "dialogs/DialogSkin.h"
#include "platform/Resources.h"
#include "platform/StringTable.h"

namespace tamboro::dialogs {
namespace {

bool English() {
    return platform::CurrentLanguage() == platform::Language::English;
}

}  // namespace

PreferencesDialog::PreferencesDialog(app::SettingsStore& store, std::vector<std::string> devices,
                                     QWidget* parent)
    : QDialog(parent), m_store(store), m_initial(app::ReadPreferences(store)) {
    const bool en = English();
    setWindowTitle(en ? "Preferences" : "Preferenze");
    auto* output = new QGroupBox(en ? "Output devices" : "Periferiche di uscita", this);
    auto* outLayout = new QVBoxLayout(output);
    m_device = new QComboBox(output);
    for (const std::string& name : devices)
        m_device->addItem(QString::fromStdString(name));
    outLayout->addWidget(m_device);
    const char* formats[3] = {"22 kHz 8 Bits Stereo", "22 kHz 16 Bits Stereo",
                              "44 kHz 16 Bits Stereo"};
    for (int i = 0; i < 3; ++i) {
        m_format[i] = new QRadioButton(formats[i], output);
        outLayout->addWidget(m_format[i]);
    }
    m_mono = new QCheckBox(en ? "Handle mono sources" : "Manipola le risorse Mono", output);
    m_soft = new QCheckBox(en ? "Software mixing" : "Mixaggio Software", output);
    outLayout->addWidget(m_mono);
    outLayout->addWidget(m_soft);

    auto* misc = new QGroupBox(en ? "Miscellaneous" : "Varie", this);
    auto* miscLayout = new QGridLayout(misc);
    m_theme = new QComboBox(misc);
    m_theme->addItems({"Industriale ", "Classico", "Disco", "Giocattolo"});
    auto* themeLabel = new QLabel(en ? "Console setting" : "Impostazione consolle", misc);
    themeLabel->setBuddy(m_theme);
    m_scale = new QComboBox(misc);
    m_scale->addItem(en ? "Automatic" : "Automatica");
    for (int k = 1; k <= app::kMaxScale; ++k)
        m_scale->addItem(QString("%1 x").arg(k));
    auto* scaleLabel = new QLabel(en ? "Console size" : "Dimensione consolle", misc);
    scaleLabel->setBuddy(m_scale);
    m_tooltip = new QCheckBox(en ? "Help tips " : "Indicatori d'aiuto ", misc);
    m_meter = new QCheckBox(en ? "Show output meters" : "Mostra indicatori d'uscita", misc);
    m_rclick = new QCheckBox(en ? "Right button starts the channel in time"
                                : "Tasto destro per attivare il canale a tempo",
                             misc);
    m_defaultSong = new QLineEdit(misc);
    auto* songLabel = new QLabel(en ? "Default song." : "Abbandonare il brano.", misc);
    songLabel->setBuddy(m_defaultSong);
    auto* browseButton = new QPushButton(en ? "Browse" : "Sfogliare", misc);
    m_clear = new QPushButton(en ? "Clear" : "Riordinare", misc);
    int row = 0;
    miscLayout->addWidget(themeLabel, row, 0);
    miscLayout->addWidget(m_theme, row++, 1, 1, 2);
    miscLayout->addWidget(scaleLabel, row, 0);
    miscLayout->addWidget(m_scale, row++, 1, 1, 2);
    miscLayout->addWidget(m_tooltip, row++, 0, 1, 3);
    miscLayout->addWidget(m_meter, row++, 0, 1, 3);
    miscLayout->addWidget(m_rclick, row++, 0, 1, 3);
    miscLayout->addWidget(songLabel, row++, 0, 1, 3);
    miscLayout->addWidget(m_defaultSong, row++, 0, 1, 3);
    miscLayout->addWidget(browseButton, row, 1);
    miscLayout->addWidget(m_clear, row, 2);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(en ? "Cancel" : "Cancellare", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* groups = new QHBoxLayout;
    groups->addWidget(output);
    groups->addWidget(misc);
    auto* top = new QVBoxLayout(this);
    top->addLayout(groups);
    top->addWidget(buttons);

    // The values as stored.
    const app::Preferences& p = m_initial;
    m_device->setCurrentIndex(
        p.outputDevice >= 0 && p.outputDevice < m_device->count() ? p.outputDevice : -1);
    m_format[p.outputFormat == 0 ? 0 : p.outputFormat == 1 ? 1 : 2]->setChecked(true);
    m_mono->setChecked(p.monoSource != 0);
    m_soft->setChecked(p.softMixing != 0);
    m_theme->setCurrentIndex(p.colorTheme);
    m_themeShown = p.colorTheme;
    m_scale->setCurrentIndex(p.scale);
    m_tooltip->setChecked(p.tooltip != 0);
    m_meter->setChecked(p.levelMeter != 0);
    m_rclick->setChecked(p.rclickDelayStart != 0);
    m_defaultSong->setText(QString::fromStdString(p.defaultSong));

    themeExists = [](int theme) {
        const std::string name =
            console::layout::ThemePrefix(console::layout::SkinSet::Main, theme) + "BACK";
        return !name.empty() && !platform::FindResource(name, console::layout::kBitmapType).empty();
    };
    message = [this](unsigned id) { QMessageBox::information(this, Str(128), Str(id)); };
    browse = [this](const std::string& current) {
        return QFileDialog::getOpenFileName(this, Str(128), QString::fromStdString(current),
                                            QtFilter(138))
            .toStdString();
    };
    connect(m_theme, &QComboBox::activated, this, &PreferencesDialog::OnThemeChosen);
    connect(browseButton, &QPushButton::clicked, this, [this] {
        const std::string chosen = browse(m_defaultSong->text().toStdString());
        if (!chosen.empty()) m_defaultSong->setText(QString::fromStdString(chosen));
    });
    connect(m_clear, &QPushButton::clicked, m_defaultSong, &QLineEdit::clear);
}

void PreferencesDialog::OnThemeChosen(int index) {
    if (index >= 0 && !themeExists(index)) {
        message(1017);
        m_theme->setCurrentIndex(m_themeShown);
        return;
    }
    m_themeShown = index;
}

app::Preferences PreferencesDialog::Values() const {
    app::Preferences p;
    p.outputDevice = m_device->currentIndex();
    p.outputFormat = m_format[0]->isChecked() ? 0 : m_format[1]->isChecked() ? 1 : 2;
    p.monoSource = m_mono->isChecked() ? 1 : 0;
    p.softMixing = m_soft->isChecked() ? 1 : 0;
    p.colorTheme = m_theme->currentIndex();
    p.scale = m_scale->currentIndex();
    p.tooltip = m_tooltip->isChecked() ? 1 : 0;
    p.levelMeter = m_meter->isChecked() ? 1 : 0;
    p.rclickDelayStart = m_rclick->isChecked() ? 1 : 0;
    p.defaultSong = m_defaultSong->text().toStdString();
    return p;
}

void PreferencesDialog::accept() {
    app::WritePreferences(m_store, Values());
    QDialog::accept();
}

}  // namespace tamboro::dialogs
