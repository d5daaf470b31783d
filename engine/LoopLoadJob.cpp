#include "engine/LoopLoadJob.h"

namespace tamboro::engine {

LoopLoadJob::LoopLoadJob(Song& song, int ch, const std::string& path, Song::LoadChoice choice,
                         platform::MessageTarget* notify, std::uint32_t notifyMessage,
                         const std::function<bool(unsigned)>& ask,
                         const std::function<void(unsigned)>& tell)
    : m_song(song), m_notify(notify), m_notifyMessage(notifyMessage) {
    choice.progress = [this](int percent) {
        m_percent = percent;
        if (m_notify != nullptr) {
            m_notify->Post(m_notifyMessage, static_cast<platform::WParam>(percent), 0);
        }
        return !m_cancel.load();
    };
    const bool stretch = choice.stretch && !choice.effect;
    if (!m_song.ReadLoop(ch, path, std::move(choice), m_load, ask, tell) || !stretch) {
        m_done = true;
        if (m_notify != nullptr) {
            m_notify->Post(m_notifyMessage, static_cast<platform::WParam>(m_percent.load()), 1);
        }
        return;
    }
    m_worker = std::thread([this] {
        Song::StretchLoop(m_load);
        m_done = true;
        if (m_notify != nullptr) {
            m_notify->Post(m_notifyMessage, static_cast<platform::WParam>(m_percent.load()), 1);
        }
    });
}

LoopLoadJob::~LoopLoadJob() {
    m_cancel = true;
    if (m_worker.joinable()) m_worker.join();
}

Song::LoadLoopReport LoopLoadJob::Finish() {
    if (m_worker.joinable()) m_worker.join();
    if (!m_finished) {
        m_finished = true;
        m_song.PutLoop(m_load);
    }
    return m_load.report;
}

}  // namespace tamboro::engine
