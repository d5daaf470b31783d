#include "dialogs/DialogSkin.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStringList>
#include <QStyle>
#include <QTextEdit>

#include "dialogs/GfxImage.h"
#include "platform/StringTable.h"

namespace tamboro::dialogs {

QString Str(unsigned id) {
    return QString::fromStdString(platform::LoadString(id));
}

QString QtFilter(unsigned id) {
    const QStringList parts = Str(id).split('|', Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString globs = parts[i + 1];
        globs.replace(';', ' ');
        filters << parts[i].trimmed() + " (" + globs.simplified() + ")";
    }
    return filters.join(";;");
}

DialogButton::DialogButton(const QString& caption, QWidget* parent) : console::SkinButton(parent) {
    SetImages("GBUTTONU", "GBUTTOND", "GBUTTONF", "GBUTTONX", /*keyTransparent=*/true);
    setText(caption);  // also makes the mnemonic's shortcut
    setFocusPolicy(Qt::StrongFocus);
}

void DialogButton::paintEvent(QPaintEvent* event) {
    console::SkinButton::paintEvent(event);
    QPainter painter(this);
    QFont font("Arial");
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(isEnabled() ? QColor(Qt::white) : QColor(0x80, 0x80, 0x80));
    QRect r = rect();
    if (isDown()) r.translate(1, 1);
    style()->drawItemText(&painter, r, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), text());
}

SkinnedDialog::SkinnedDialog(gfx::Image* background, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    if (background != nullptr) m_background = ToQImage(background);
    ApplyGreenOnBlack(this);
}

DialogButton* SkinnedDialog::AddButton(const QString& caption, bool isDefault) {
    auto* button = new DialogButton(caption, this);
    if (isDefault && m_default == nullptr) m_default = button;
    return button;
}

void SkinnedDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        // Stretched to twice its size, as the console shows it.
        const QPixmap twice = QPixmap::fromImage(m_background.scaled(m_background.size() * 2));
        painter.drawTiledPixmap(rect(), twice);
    }
}

void SkinnedDialog::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        QWidget* focus = focusWidget();
        if (qobject_cast<QPlainTextEdit*>(focus) != nullptr ||
            qobject_cast<QTextEdit*>(focus) != nullptr) {
            QDialog::keyPressEvent(event);
            return;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(focus); button != nullptr) {
            button->click();
            return;
        }
        if (m_default != nullptr && m_default->isEnabled()) {
            m_default->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void ApplyGreenOnBlack(QWidget* widget) {
    widget->setStyleSheet(
        "QLineEdit, QPlainTextEdit, QLabel, QCheckBox, QRadioButton, QComboBox, QGroupBox,"
        " QListWidget { color: #00ff00; background-color: black; }"
        " QLineEdit:disabled, QPlainTextEdit:disabled, QComboBox:disabled"
        " { color: #00ff00; background-color: #808080; }"
        " QCheckBox, QRadioButton, QGroupBox { background-color: transparent; }");
}

}  // namespace tamboro::dialogs
