#include "dialogs/AboutBox.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/StringTable.h"

namespace tamboro::dialogs {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(platform::LoadString(2020)));
    auto* icon = new QLabel(this);
    if (parent != nullptr && !parent->windowIcon().isNull())
        icon->setPixmap(parent->windowIcon().pixmap(48, 48));
    auto* text = new QLabel(QString::fromStdString(platform::LoadString(2021)), this);
    auto* web = new QPushButton(QString::fromStdString(platform::LoadString(1042)), this);
    web->setObjectName(QStringLiteral("web"));
    auto* close = new QPushButton(QString::fromStdString(platform::LoadString(2022)), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(web, &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kMakerWebPage))); });
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(web);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

}  // namespace tamboro::dialogs
