#include "tests/console_panel/PanelTestSupport.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QUrl>

#include "console/logic/ConsoleLayout.h"
#include "console/panel/ConsolePanel.h"

namespace tamboro::console::test {

ConsolePanel* StartMainConsole(app::StartOptions options, int scale) {
    options.panels = &ConsolePanel::Create;
    options.registerDesktop = false;
    auto& app = *static_cast<app::CConsoleApp*>(QCoreApplication::instance());
    if (app.InitInstance({"--no-splash", "--scale", std::to_string(scale), "--theme", "0"},
                         std::move(options)) != -1 ||
        app.Frame() == nullptr)
        return nullptr;
    return qobject_cast<ConsolePanel*>(app.Frame()->Console());
}

Drag DropData(QWidget* target, QPoint pos, const QMimeData& data) {
    Drag result;
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(target, &enter);
    result.entered = enter.isAccepted();
    if (!result.entered) return result;
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    move.setAccepted(false);
    QCoreApplication::sendEvent(target, &move);
    result.moved = move.isAccepted();
    if (!result.moved) return result;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(target, &drop);
    result.dropped = drop.isAccepted();
    return result;
}

Drag DropFiles(QWidget* target, QPoint pos, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& p : paths)
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    data.setUrls(urls);
    return DropData(target, pos, data);
}

QPoint PadCentre(int channel, int k) {
    const layout::Rect r = PadRect(channel);
    for (int y = r.y + r.h / 2; y < r.Bottom(); ++y) {
        for (int x = r.x + r.w / 2; x < r.Right(); ++x) {
            if (PadAt(x, y) == channel) return {x * k + k / 2, y * k + k / 2};
        }
    }
    return {(r.x + r.w / 2) * k, (r.y + r.h / 2) * k};
}

}  // namespace tamboro::console::test
