#include "app/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/DebugLog.h"
#include "platform/StringTable.h"

namespace tamboro::app {
namespace {

QString Key(std::string_view section, std::string_view key) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + "/" +
           QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

QString FileUnder(const QString& folder) {
    return folder + "/" +
           QString::fromStdString(platform::LoadString(160, platform::Language::Italian)) + "/" +
           QString::fromStdString(platform::LoadString(57344, platform::Language::Italian)) +
           ".ini";
}

}  // namespace

QString UserSettingsPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) config = QDir::homePath() + "/.config";
    return FileUnder(config);
}

QString MachineSettingsPath() {
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    QString first = dirs.section(':', 0, 0);
    if (first.isEmpty() || !QDir::isAbsolutePath(first)) first = "/etc/xdg";
    return FileUnder(first);
}

QtSettingsStore::QtSettingsStore(const QString& path) : m_path(path) {
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || !info.isReadable())) {
        platform::DebugLog("settings: %s cannot be read; using the defaults",
                           path.toLocal8Bit().constData());
        m_readable = false;
        m_damaged = true;
    }
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (m_readable) {
        m_settings->allKeys();  // reads the file now, so status() tells
        if (m_settings->status() == QSettings::FormatError) {
            platform::DebugLog("settings: %s is damaged; kept as .damaged, using the defaults",
                               path.toLocal8Bit().constData());
            m_damaged = true;
            m_settings.reset();
            QFile::remove(path + ".damaged");
            QFile::rename(path, path + ".damaged");
            m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        }
    }
}

QtSettingsStore::~QtSettingsStore() = default;

int QtSettingsStore::ReadInt(std::string_view section, std::string_view key, int fallback) {
    if (!m_readable) return fallback;
    const QVariant v = m_settings->value(Key(section, key));
    if (!v.isValid()) return fallback;
    bool ok = false;
    const int value = v.toString().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

std::string QtSettingsStore::ReadString(std::string_view section, std::string_view key,
                                        std::string_view fallback) {
    if (!m_readable) return std::string(fallback);
    const QVariant v = m_settings->value(Key(section, key));
    if (!v.isValid() || !v.canConvert<QString>()) return std::string(fallback);
    return v.toString().toStdString();
}

void QtSettingsStore::WriteInt(std::string_view section, std::string_view key, int value) {
    if (!m_readable) return;
    m_settings->setValue(Key(section, key), value);
    m_settings->sync();
}

void QtSettingsStore::WriteString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    if (!m_readable) return;
    m_settings->setValue(Key(section, key),
                         QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    m_settings->sync();
}

}  // namespace tamboro::app
