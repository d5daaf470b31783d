#include "dialogs/ProgressDialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "app/core/Progress.h"
#include "dialogs/GfxImage.h"
#include "platform/StringTable.h"

namespace tamboro::dialogs {

ProgressDialog::ProgressDialog(unsigned titleId, gfx::Image* background, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_background(ToQImage(background)),
      m_owner(owner) {
    setWindowTitle(QString::fromStdString(platform::LoadString(titleId != 0 ? titleId : 139)));
    setModal(false);
    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    m_percent = new QLabel(QStringLiteral(" 0%"), this);
    m_text = new QLabel(this);
    m_text->setMinimumWidth(280);
    m_cancel = new QPushButton(QString::fromStdString(platform::LoadString(2024)), this);
    for (QLabel* label : {m_percent, m_text})
        label->setStyleSheet(QStringLiteral("color: #d8ffd8; background: transparent;"));
    auto* row = new QHBoxLayout;
    row->addWidget(m_bar, 1);
    row->addWidget(m_percent);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_text);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressDialog::onCancelClicked);
    SetRange(0, 100);
}

ProgressDialog::~ProgressDialog() {
    Close();
}

void ProgressDialog::Show() {
    if (m_owner != nullptr && m_owner->isEnabled()) {
        m_owner->setEnabled(false);
        m_ownerDisabled = true;
    }
    // The dialog itself stays enabled although its owner is not.
    setEnabled(true);
    show();
}

void ProgressDialog::SetText(const QString& text) {
    m_text->setText(text);
}

void ProgressDialog::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    m_bar->setRange(lower, upper);
    m_bar->setValue(lower);
}

void ProgressDialog::SetPos(int pos) {
    QCoreApplication::processEvents();
    const QString text = QString::fromStdString(
        app::ProgressPercentText(app::ProgressPercent(pos, m_lower, m_upper)));
    if (m_percent->text() != text) m_percent->setText(text);
    m_bar->setValue(std::clamp(pos, m_lower, m_upper));
}

void ProgressDialog::Close() {
    if (m_ownerDisabled && m_owner != nullptr) m_owner->setEnabled(true);
    m_ownerDisabled = false;
    hide();
}

void ProgressDialog::Report(int phase, int channel, int percent) {
    if (QThread::currentThread() == thread()) {
        SetText(QString::fromStdString(app::ProgressPhaseText(phase, channel)));
        SetPos(percent);
        return;
    }
    std::lock_guard lock(m_reportMutex);
    m_pending = {true, phase, channel, percent};
}

void ProgressDialog::Pump() {
    Pending p;
    {
        std::lock_guard lock(m_reportMutex);
        p = m_pending;
        m_pending.fresh = false;
    }
    if (p.fresh) {
        SetText(QString::fromStdString(app::ProgressPhaseText(p.phase, p.channel)));
        SetPos(p.percent);
    } else {
        QCoreApplication::processEvents();
    }
}

QString ProgressDialog::PercentText() const {
    return m_percent->text();
}

QString ProgressDialog::Text() const {
    return m_text->text();
}

int ProgressDialog::BarValue() const {
    return m_bar->value();
}

void ProgressDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        painter.drawTiledPixmap(rect(), QPixmap::fromImage(m_background));
    }
}

void ProgressDialog::reject() {
    onCancelClicked();  // Escape cancels the work; the owner closes the dialog
}

void ProgressDialog::onCancelClicked() {
    if (m_cancelled.exchange(true)) return;
    m_cancel->setEnabled(false);
    emit cancelRequested();
}

}  // namespace tamboro::dialogs
