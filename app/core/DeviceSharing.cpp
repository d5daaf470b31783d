#include "app/core/DeviceSharing.h"

namespace tamboro::app {

int DeviceSharing::OnRelease(bool destroying) {
    if (destroying) return 1;
    if (m_hooks.stopSong) m_hooks.stopSong();
    m_hooks.activate(false);
    m_released = true;
    return 1;
}

void DeviceSharing::StartSilent() {
    if (!m_silent && m_hooks.silent) m_hooks.silent(true);
    m_silent = true;
}

void DeviceSharing::OnActivateApp(bool active) {
    if (!active || m_hooks.isActive()) return;
    const bool ask = !m_silent;
    for (;;) {
        if (m_hooks.wait) m_hooks.wait();
        m_hooks.activate(true);
        if (m_hooks.isActive()) {
            m_released = false;
            if (m_silent && m_hooks.silent) m_hooks.silent(false);
            m_silent = false;
            return;
        }
        // Already silent: one quiet attempt per return to the window.
        if (!ask || !m_hooks.askRetry || !m_hooks.askRetry()) break;
    }
    if (!m_silent && m_hooks.silent) m_hooks.silent(true);
    m_silent = true;
}

}  // namespace tamboro::app
