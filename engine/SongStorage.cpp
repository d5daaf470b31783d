#include "engine/SongStorage.h"

namespace tamboro::engine {

SongStorage::SongStorage(platform::MessageLoop& loop)
    : m_target(loop.CreateTarget([this](std::uint32_t m, platform::WParam w, platform::LParam l) {
          return OnMessage(m, w, l);
      })) {}

SongStorage::~SongStorage() {
    Cancel();
    Join();
}

void SongStorage::Join() {
    if (m_worker.joinable()) m_worker.join();
}

SongResult SongStorage::StartMixdown(Song& song, const std::string& path,
                                     const audio::WAVEFORMATEX* format, ProgressFn progress,
                                     DoneFn done) {
    if (m_busy) return SongResult::WrongMode;
    Join();  // a worker whose end was delivered
    auto job = std::make_unique<Song::MixdownJob>();
    const SongResult prepared = song.PrepareMixdown(path, format, progress, *job);
    if (prepared != SongResult::Ok) return prepared;
    m_progress = std::move(progress);
    m_done = std::move(done);
    m_cancel.store(false);
    m_busy = true;
    platform::MessageTarget* target = m_target.get();
    m_worker = std::thread([this, target, job = std::move(job)]() mutable {
        // The worker's progress reaches the owner as posted messages:
        // (phase << 8 | channel, percent).
        const ProgressFn post = [target](int phase, int channel, int percent) {
            target->Post(kMsgProgress,
                         static_cast<platform::WParam>((phase << 8) | (channel & 0xFF)),
                         static_cast<platform::LParam>(percent));
        };
        const SongResult result = Song::RunMixdown(std::move(*job), post, &m_cancel);
        job.reset();
        target->Post(kMsgDone, static_cast<platform::WParam>(ToInt(result)), 0);
    });
    return SongResult::Ok;
}

platform::LParam SongStorage::OnMessage(std::uint32_t message, platform::WParam w,
                                        platform::LParam l) {
    if (message == kMsgProgress) {
        if (m_progress)
            m_progress(static_cast<int>(w >> 8), static_cast<int>(w & 0xFF), static_cast<int>(l));
        return 0;
    }
    if (message == kMsgDone) {
        Join();
        m_busy = false;
        DoneFn done = std::move(m_done);
        m_done = nullptr;
        m_progress = nullptr;
        if (done) done(static_cast<SongResult>(w));
    }
    return 0;
}

}  // namespace tamboro::engine
