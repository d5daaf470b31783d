#include "app/Registry.h"

#include <QFileInfo>
#include <QWidget>

#include "app/QtSettingsStore.h"

namespace tamboro::app {
namespace {

QString PathOf(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? MachineSettingsPath() : UserSettingsPath();
}

}  // namespace

int ReadRegistryValue(RegistryRoot root, std::string_view subKey, std::string_view valueName,
                      std::string* out, std::size_t bufferSize) {
    const QString path = PathOf(root);
    const QFileInfo info(path);
    if (!info.exists() || !info.isReadable()) return 0;
    QtSettingsStore store(path);
    if (store.Damaged()) return 0;
    static constexpr std::string_view kMissing = "\x01missing";
    std::string value = store.ReadString(subKey, valueName, kMissing);
    if (value == kMissing) return 1;
    if (bufferSize == 0) return 1;
    if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    *out = std::move(value);
    return 1;
}

int WriteRegistryString(RegistryRoot root, std::string_view subKey, std::string_view valueName,
                        std::string_view text) {
    QtSettingsStore store(PathOf(root));
    store.WriteString(subKey, valueName, text);
    QSettings check(store.Path(), QSettings::IniFormat);
    return check.status() == QSettings::NoError && QFileInfo(store.Path()).isWritable() ? 1 : 0;
}

void InvalidateTree(QWidget* window, const QRect* rect) {
    if (window == nullptr) return;
    if (rect != nullptr) {
        window->update(*rect);
    } else {
        window->update();
    }
    for (QObject* child : window->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w == nullptr) continue;
        if (rect != nullptr) {
            const QRect inChild = rect->intersected(w->geometry()).translated(-w->pos());
            if (inChild.isEmpty()) continue;
            InvalidateTree(w, &inChild);
        } else {
            InvalidateTree(w, nullptr);
        }
    }
}

std::string MachineFolder(std::string_view valueName, const std::string& fallback) {
    std::string value;
    ReadRegistryValue(RegistryRoot::LocalMachine, kMachinePaths, valueName, &value);
    if (value.empty()) value = fallback;
    if (!value.empty() && value.back() != '/') value += '/';
    return value;
}

}  // namespace tamboro::app
