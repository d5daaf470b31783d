#include "app/PanelWnd.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/CMainFrame.h"
#include "app/core/Preferences.h"
#include "console/logic/DropTarget.h"
#include "engine/Song.h"

namespace tamboro::app {
namespace {

// The local files a drag carries; anything else (remote addresses, text)
// counts as no file.
std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        paths.push_back(url.isLocalFile() ? url.toLocalFile().toStdString() : std::string());
    return paths;
}

// A loop is loaded as the channel menu offers it: only while nothing sounds
// and no mix records or plays back (loading stops the mix).
bool LoopLoadOffered(const engine::Song& song) {
    return song.PlayingCount() == 0 && !song.IsRecording() && !song.IsPlayingBack();
}

}  // namespace

PanelWnd::PanelWnd(CMainFrame& frame, QWidget* parent) : DisplayWidget(parent), m_frame(frame) {
    setAcceptDrops(true);
}

PanelWnd::~PanelWnd() = default;

bool PanelWnd::OnCommand(int) {
    return false;
}

bool PanelWnd::IsControlAt(const QPoint&) const {
    return false;
}

void PanelWnd::ShowNotice(const std::string&) {}

int PanelWnd::PadAtPoint(const QPoint&) const {
    return -1;
}

void PanelWnd::dragEnterEvent(QDragEnterEvent* event) {
    // Whether the point suits the files is decided as the drag moves.
    if (LocalFiles(event->mimeData()).size() == 1) event->acceptProposedAction();
}

console::DropAction PanelWnd::DropAt(const QDropEvent& event) const {
    console::DropAction action =
        console::DropFor(LocalFiles(event.mimeData()), PadAtPoint(event.position().toPoint()));
    if (action.kind == console::DropKind::LoadLoop && !LoopLoadOffered(m_frame.Song())) action = {};
    return action;
}

void PanelWnd::dragMoveEvent(QDragMoveEvent* event) {
    if (DropAt(*event).kind != console::DropKind::None) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void PanelWnd::dropEvent(QDropEvent* event) {
    const console::DropAction action = DropAt(*event);
    if (action.kind == console::DropKind::None) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Questions and messages may follow; they wait until the drag is over.
    QMetaObject::invokeMethod(
        this,
        [this, action] {
            CMainFrame& frame = Frame();
            if (action.kind == console::DropKind::OpenSong) {
                frame.OpenSongFile(action.path, true, false);
                return;
            }
            // As the wave open dialog would load it, with its stretch switch.
            const bool stretch = frame.Store().ReadInt(kSectionTrackOpen, "STRETCH", 0) != 0;
            frame.SetCurrentChannel(action.channel);
            frame.LoadLoopFile(action.channel, action.path, false, stretch);
            UpdateChannels(action.channel);
        },
        Qt::QueuedConnection);
}

}  // namespace tamboro::app
