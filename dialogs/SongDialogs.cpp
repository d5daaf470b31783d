#include "dialogs/SongDialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <cstdio>

#include "engine/Song.h"
#include "platform/StringTable.h"

namespace tamboro::dialogs {
namespace {

QString FromUtf8(const std::string& s) {
    return QString::fromStdString(s);
}

bool English() {
    return platform::CurrentLanguage() == platform::Language::English;
}

}  // namespace

std::string SongSummary(const engine::Song& song, const std::string& path) {
    char tempo[64];
    std::snprintf(tempo, sizeof tempo, "%.2f", song.GetTempo());
    const std::pair<unsigned, std::string> parts[] = {
        {157, path},
        {146, song.GetTitle()},
        {150, tempo},
        {147, song.GetAuthor()},
        {148, song.GetMixedBy()},
    };
    std::string text;
    for (const auto& [id, value] : parts)
        text += platform::LoadString(id) + "\r\n  " + value + "\r\n\r\n";
    text += platform::LoadString(149) + "\r\n\r\n" + song.GetNotes();
    return text;
}

SongPropertiesDialog::SongPropertiesDialog(Mode mode, const SongProperties& values, bool shiftHeld,
                                           gfx::Image* background, QWidget* parent)
    : SkinnedDialog(background, parent), m_mode(mode) {
    setWindowTitle(Str(mode == Mode::NewSong ? 151 : 152));
    m_title = new QLineEdit(FromUtf8(values.title), this);
    m_title->setMaxLength(kSongTextLimit);
    m_tempo = new QLineEdit(QString::number(values.tempo, 'f', 1), this);
    m_author = new QLineEdit(FromUtf8(values.author), this);
    m_author->setMaxLength(kSongTextLimit);
    m_mixedBy = new QLineEdit(FromUtf8(values.mixedBy), this);
    m_mixedBy->setMaxLength(kSongTextLimit);
    m_notes = new QPlainTextEdit(FromUtf8(values.notes), this);
    m_notes->setTabChangesFocus(true);
    if (mode == Mode::NewSong) {
        m_mixedBy->setEnabled(false);
    } else {
        m_tempo->setEnabled(false);
        m_author->setEnabled(shiftHeld);
    }

    auto* grid = new QGridLayout;
    const std::pair<const char*, QWidget*> rows[] = {{"Brano", m_title},
                                                     {"Tempo", m_tempo},
                                                     {English() ? "Author" : "Autore", m_author},
                                                     {"Mixed by", m_mixedBy},
                                                     {English() ? "Notes" : "Note", m_notes}};
    int row = 0;
    for (const auto& [label, edit] : rows) {
        auto* l = new QLabel(QString::fromUtf8(label), this);
        l->setBuddy(edit);
        grid->addWidget(l, row, 0, Qt::AlignTop);
        grid->addWidget(edit, row, 1);
        ++row;
    }
    DialogButton* ok = AddButton("OK", true);
    DialogButton* cancel = AddButton(English() ? "Cancel" : "Cancella");
    connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* top = new QHBoxLayout(this);
    top->addLayout(grid, 1);
    top->addLayout(buttons);
    setTabOrder(m_title, m_tempo);
    setTabOrder(m_tempo, m_author);
    setTabOrder(m_author, m_mixedBy);
    setTabOrder(m_mixedBy, m_notes);
    setTabOrder(m_notes, ok);
    setTabOrder(ok, cancel);
    m_title->setFocus();
    warn = [this](const QString& text) { QMessageBox::warning(this, Str(128), text); };
}

SongProperties SongPropertiesDialog::Values() const {
    SongProperties v;
    v.title = m_title->text().toStdString();
    v.tempo = m_tempo->text().trimmed().toDouble();
    v.author = m_author->text().toStdString();
    v.mixedBy = m_mixedBy->text().toStdString();
    v.notes = m_notes->toPlainText().toStdString();
    return v;
}

void SongPropertiesDialog::accept() {
    if (m_mode == Mode::NewSong) {
        bool ok = false;
        const double tempo = m_tempo->text().trimmed().toDouble(&ok);
        if (!ok || !(tempo >= kMinTempo && tempo <= kMaxTempo)) {
            m_warning = English() ? "Please enter a number between 80.0 and 240.0."
                                  : "Inserire un numero compreso tra 80.0 e 240.0.";
            if (warn) warn(m_warning);
            m_tempo->setFocus();
            m_tempo->selectAll();
            return;
        }
    }
    QDialog::accept();
}

RenameDialog::RenameDialog(const std::string& name, gfx::Image* background, QWidget* parent)
    : SkinnedDialog(background, parent) {
    setWindowTitle(English() ? "Rename" : "Rinomina");
    m_name = new QLineEdit(FromUtf8(name), this);
    m_name->setMaxLength(kChannelNameLimit);
    m_name->selectAll();
    auto* label = new QLabel(English() ? "Enter the new name:" : "Inserire il nuovo nome:", this);
    label->setBuddy(m_name);
    DialogButton* ok = AddButton("OK", true);
    DialogButton* cancel = AddButton(English() ? "Cancel" : "Cancella");
    connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_name, 1, 0);
    layout->addWidget(ok, 0, 1);
    layout->addWidget(cancel, 1, 1);
    m_name->setFocus();
}

std::string RenameDialog::Name() const {
    return m_name->text().toStdString();
}

}  // namespace tamboro::dialogs
