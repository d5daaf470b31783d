#include "app/PanelWnd.h"

namespace tamboro::app {

PanelWnd::PanelWnd(CMainFrame& frame, QWidget* parent) : DisplayWidget(parent), m_frame(frame) {}

PanelWnd::~PanelWnd() = default;

bool PanelWnd::OnCommand(int) {
    return false;
}

bool PanelWnd::IsControlAt(const QPoint&) const {
    return false;
}

void PanelWnd::ShowNotice(const std::string&) {}

}  // namespace tamboro::app
