#include "dialogs/InfoNotice.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/StringTable.h"

namespace tamboro::dialogs {

InfoNotice::InfoNotice(unsigned titleId, unsigned textId, app::SettingsStore& store,
                       QWidget* parent)
    : QDialog(parent), m_textId(textId), m_store(store) {
    setWindowTitle(QString::fromStdString(platform::LoadString(titleId)));
    m_text = new QLabel(QString::fromStdString(platform::LoadString(textId)), this);
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(360);
    m_check = new QCheckBox(QString::fromStdString(platform::LoadString(1033)), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_check);
    layout->addWidget(buttons);
}

QString InfoNotice::Text() const {
    return m_text->text();
}

void InfoNotice::accept() {
    if (m_check->isChecked()) app::SwitchNoticeOff(m_store, m_textId);
    QDialog::accept();
}

bool ShowNoticeIfWanted(unsigned titleId, unsigned textId, app::SettingsStore& store,
                        QWidget* parent) {
    if (!app::NoticeWanted(store, textId)) return false;
    InfoNotice notice(titleId, textId, store, parent);
    notice.exec();
    return true;
}

}  // namespace tamboro::dialogs
