#include "engine/SongStorage.h"

#include "engine/LoopStretch.h"

namespace tamboro::engine {

SongStorage::SongStorage(platform::MessageLoop& loop)
    : m_target(loop.CreateTarget([this](std::uint32_t m, platform::WParam w, platform::LParam l) {
          return OnMessage(m, w, l);
      })) {}

SongStorage::~SongStorage() {
    Cancel();
    Join();
}

void SongStorage::Cancel() {
    m_cancel.store(true, std::memory_order_release);
    // A worker waiting for its report to be delivered goes on (and stops).
    const std::lock_guard lock(m_ackMutex);
    m_ackChanged.notify_all();
}

void SongStorage::Join() {
    if (m_worker.joinable()) m_worker.join();
}

void SongStorage::Launch(WorkFn work, FinishFn finish, ProgressFn progress, DoneFn done) {
    Join();  // a worker whose end was delivered
    m_progress = std::move(progress);
    m_done = std::move(done);
    m_finish = std::move(finish);
    m_cancel.store(false);
    {
        const std::lock_guard lock(m_ackMutex);
        m_acked = 0;
    }
    m_busy = true;
    m_worker = std::thread([this, work = std::move(work)] {
        // The worker's progress reaches the owner as posted messages,
        // (phase << 8 | channel, percent); a report equal to the last one
        // is not sent again.
        std::uint64_t sent = 0;
        platform::WParam lastW = ~platform::WParam{0};
        platform::LParam lastL = -1;
        const ProgressFn post = [&](int phase, int channel, int percent) {
            const auto w = static_cast<platform::WParam>((phase << 8) | (channel & 0xFF));
            const auto l = static_cast<platform::LParam>(percent);
            if (w == lastW && l == lastL) return;
            lastW = w;
            lastL = l;
            ++sent;
            m_target->Post(kMsgProgress, w, l);
            std::unique_lock lock(m_ackMutex);
            m_ackChanged.wait(
                lock, [&] { return m_acked >= sent || m_cancel.load(std::memory_order_acquire); });
        };
        const SongResult result = work(post, &m_cancel);
        m_target->Post(kMsgDone, static_cast<platform::WParam>(ToInt(result)), 0);
    });
}

SongResult SongStorage::StartMixdown(Song& song, const std::string& path,
                                     const audio::WAVEFORMATEX* format, ProgressFn progress,
                                     DoneFn done) {
    if (m_busy) return SongResult::WrongMode;
    auto job = std::make_shared<Song::MixdownJob>();
    const SongResult prepared = song.PrepareMixdown(path, format, progress, *job);
    if (prepared != SongResult::Ok) return prepared;
    Launch(
        [job](const ProgressFn& post, const std::atomic<bool>* cancel) {
            return Song::RunMixdown(std::move(*job), post, cancel);
        },
        {}, std::move(progress), std::move(done));
    return SongResult::Ok;
}

SongResult SongStorage::StartSave(Song& song, const std::string& path, std::uint32_t flags,
                                  const audio::WAVEFORMATEX* format, ProgressFn progress,
                                  DoneFn done) {
    if (m_busy) return SongResult::WrongMode;
    auto job = std::make_shared<Song::SaveJob>();
    const SongResult prepared = song.PrepareSave(path, flags, format, *job);
    if (prepared != SongResult::Ok) return prepared;
    Launch(
        [job](const ProgressFn& post, const std::atomic<bool>* cancel) {
            const SongResult result = Song::RunSave(*job, post, cancel, false);
            job->images = {};
            job->loops = {};
            return result;
        },
        {}, std::move(progress), std::move(done));
    return SongResult::Ok;
}

SongResult SongStorage::StartSaveFile(Song& song, const std::string& path,
                                      const audio::WAVEFORMATEX* format, ProgressFn progress,
                                      DoneFn done) {
    if (m_busy) return SongResult::WrongMode;
    auto save = std::make_shared<Song::SaveJob>();
    const SongResult prepared = song.PrepareSave(path, 0, format, *save);
    if (prepared != SongResult::Ok) return prepared;
    // The reload is prepared with the song as it is now; it is committed
    // only to a song whose document is still this one.
    auto load = std::make_shared<Song::LoadJob>();
    song.PrepareLoad(path, 0, *load);
    auto before = std::make_shared<SongDocument>(song.Document());
    Launch(
        [save, load](const ProgressFn& post, const std::atomic<bool>* cancel) {
            const SongResult saved = Song::RunSave(*save, post, cancel, true);
            save->images = {};
            save->loops = {};
            if (saved != SongResult::Ok) return saved;
            Song::RunLoad(*load, post, cancel);
            return SongResult::Ok;
        },
        [&song, load, before](SongResult saved) {
            if (saved != SongResult::Ok) return saved;
            if (load->result == SongResult::Cancelled || !(song.Document() == *before)) {
                return SongResult::Ok;
            }
            return song.CommitLoad(*load);
        },
        std::move(progress), std::move(done));
    return SongResult::Ok;
}

SongResult SongStorage::StartLoad(Song& song, const std::string& path, std::uint32_t flags,
                                  ProgressFn progress, DoneFn done) {
    if (m_busy) return SongResult::WrongMode;
    auto job = std::make_shared<Song::LoadJob>();
    song.PrepareLoad(path, flags, *job);
    Launch(
        [job](const ProgressFn& post, const std::atomic<bool>* cancel) {
            Song::RunLoad(*job, post, cancel);
            return job->result;
        },
        [&song, job](SongResult) { return song.CommitLoad(*job); }, std::move(progress),
        std::move(done));
    return SongResult::Ok;
}

SongResult SongStorage::StartLoadLoop(Song& song, int ch, const std::string& path,
                                      Song::LoadChoice choice,
                                      const std::function<bool(unsigned)>& ask,
                                      const std::function<void(unsigned)>& tell,
                                      ProgressFn progress, LoopDoneFn done) {
    if (m_busy) return SongResult::WrongMode;
    auto load = std::make_shared<Song::LoopLoad>();
    choice.progress = nullptr;
    // A load that ends here still ends through `done`, like every other.
    const bool read = song.ReadLoop(ch, path, std::move(choice), *load, ask, tell);
    Launch(
        [load, read](const ProgressFn& post, const std::atomic<bool>* cancel) {
            if (!read) return SongResult::Ok;
            load->choice.progress = [&post, cancel, ch = load->ch](int percent) {
                post(kStretchPhase, ch, percent);
                return !cancel->load(std::memory_order_acquire);
            };
            const bool stretched = Song::StretchLoop(*load);
            load->choice.progress = nullptr;
            return stretched || !load->report.stretchCancelled ? SongResult::Ok
                                                               : SongResult::Cancelled;
        },
        [&song, load](SongResult result) {
            song.PutLoop(*load);
            return result;
        },
        std::move(progress),
        [load, done = std::move(done)](SongResult) {
            if (done) done(load->report);
        });
    return SongResult::Ok;
}

platform::LParam SongStorage::OnMessage(std::uint32_t message, platform::WParam w,
                                        platform::LParam l) {
    if (message == kMsgProgress) {
        // A copy: a callback that runs the loop (a progress dialog does) may
        // see the job end, and its end drops m_progress.
        const ProgressFn progress = m_progress;
        if (progress)
            progress(static_cast<int>(w >> 8), static_cast<int>(w & 0xFF), static_cast<int>(l));
        const std::lock_guard lock(m_ackMutex);
        ++m_acked;
        m_ackChanged.notify_all();
        return 0;
    }
    if (message == kMsgDone) {
        Join();
        m_busy = false;
        DoneFn done = std::move(m_done);
        FinishFn finish = std::move(m_finish);
        m_done = nullptr;
        m_finish = nullptr;
        m_progress = nullptr;
        SongResult result = static_cast<SongResult>(w);
        if (finish) result = finish(result);
        if (done) done(result);
    }
    return 0;
}

}  // namespace tamboro::engine
