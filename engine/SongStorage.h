#pragma once
// Slow storage work of a song on a worker thread: the mixdown to a WAV
// file. Progress and the end are delivered on the caller's thread (posted
// to its message loop, so they arrive as the loop runs); Cancel stops the
// work early and leaves no partial output: a file that was at the path
// stays as it was.
//
// What the work needs from the song is taken when it starts, on the owner
// thread; the song may change meanwhile (the work goes on with what it
// took). One job at a time.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/Song.h"
#include "platform/Messages.h"

namespace tamboro::engine {

class SongStorage {
  public:
    using DoneFn = std::function<void(SongResult)>;

    // Progress and the end are posted to `loop`, the owner thread's loop.
    explicit SongStorage(platform::MessageLoop& loop);
    // Cancels a running job and waits for the worker.
    ~SongStorage();
    SongStorage(const SongStorage&) = delete;
    SongStorage& operator=(const SongStorage&) = delete;

    // Renders `song`'s mix to `path` (`format` as SaveSong's). The song's
    // part is done at once; a failure there is returned and nothing runs.
    // Else Ok: `progress(phase, channel, percent)` follows, then `done` once
    // with the result (Cancelled after Cancel). WrongMode while busy.
    SongResult StartMixdown(Song& song, const std::string& path, const audio::WAVEFORMATEX* format,
                            ProgressFn progress, DoneFn done);
    // Any thread; the job ends soon after (its `done` says Cancelled).
    void Cancel() { m_cancel.store(true, std::memory_order_release); }
    // Owner thread: whether a job runs or its end has not been delivered.
    bool Busy() const { return m_busy; }

  private:
    static constexpr std::uint32_t kMsgProgress = 0x601;
    static constexpr std::uint32_t kMsgDone = 0x602;
    platform::LParam OnMessage(std::uint32_t message, platform::WParam w, platform::LParam l);
    void Join();

    std::unique_ptr<platform::MessageTarget> m_target;
    ProgressFn m_progress;  // owner thread
    DoneFn m_done;          // owner thread
    bool m_busy = false;    // owner thread
    std::atomic<bool> m_cancel{false};
    std::thread m_worker;
};

}  // namespace tamboro::engine
