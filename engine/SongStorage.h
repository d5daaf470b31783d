#pragma once
// Slow storage work of a song on a worker thread: saving, loading, the
// mixdown to a WAV file and loading a loop with its time-stretch. Progress and the end are
// delivered on the caller's thread (posted to its message loop, so they arrive as the loop runs).
// Cancel stops the work early and leaves no partial output: a file that was
// at the path stays as it was, and a cancelled load leaves the song as it
// was.
//
// The worker waits until each progress report has been delivered before it
// goes on, so a Cancel from inside a progress callback stops the job before
// its next step (a progress dialog's Cancel is never overtaken by the rest
// of the work).
//
// What a save or a mixdown needs from the song is taken when it starts, on
// the owner thread; the song may change meanwhile (the work goes on with
// what it took). A load touches the song only at its end, on the owner
// thread: the worker reads the file and prepares the loops, the owner
// thread hands them to the output device. The song must outlive a load
// (of a song file or of a loop).
// One job at a time.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/Song.h"
#include "platform/Messages.h"

namespace tamboro::engine {

class SongStorage {
  public:
    using DoneFn = std::function<void(SongResult)>;
    using LoopDoneFn = std::function<void(const Song::LoadLoopReport&)>;

    // Progress and the end are posted to `loop`, the owner thread's loop.
    explicit SongStorage(platform::MessageLoop& loop);
    // Cancels a running job and waits for the worker; its `done` is not
    // called.
    ~SongStorage();
    SongStorage(const SongStorage&) = delete;
    SongStorage& operator=(const SongStorage&) = delete;

    // Every Start answers at once. A failure found on the owner thread is
    // returned and nothing runs (`done` is not called); WrongMode while a
    // job is busy. Else Ok: `progress(phase, channel, percent)` follows on
    // the owner thread, then `done` once with the result (Cancelled after
    // Cancel).

    // Renders `song`'s mix to `path` (`format` as SaveSong's).
    SongResult StartMixdown(Song& song, const std::string& path, const audio::WAVEFORMATEX* format,
                            ProgressFn progress, DoneFn done);
    // Writes a song file to `path` as SaveSong does without kSaveMixdown
    // (`flags` 0 or Song::kSaveMixOnly): the song's part is taken at once.
    // Results as SaveSong's, and Cancelled.
    SongResult StartSave(Song& song, const std::string& path, std::uint32_t flags,
                         const audio::WAVEFORMATEX* format, ProgressFn progress, DoneFn done);
    // Saves the whole song to `path` as SaveSongFile does: written, put in
    // the place of the old file in one step, then the song is loaded again
    // from it (its loops then come from the new file). Cancelled only while
    // the file is being written; a Cancel during the reload leaves the song
    // as it was and answers Ok (the file is saved). A song changed while
    // the job ran is not reloaded (the changes stay). The song must outlive
    // the job.
    SongResult StartSaveFile(Song& song, const std::string& path, const audio::WAVEFORMATEX* format,
                             ProgressFn progress, DoneFn done);
    // Loads a song file into `song` as LoadSong does (`flags` 0 or
    // Song::kLoadMixOnly). The song is replaced when the job ends, on the
    // owner thread, just before `done`; a cancelled or failed open leaves
    // it as it was (a damaged file empties it, as LoadSong does).
    SongResult StartLoad(Song& song, const std::string& path, std::uint32_t flags,
                         ProgressFn progress, DoneFn done);

    // The load-loop command (Song::LoadLoop) with its slow part on the
    // worker. Here, on the owner thread, the loop is read and checked and
    // the first-loop tempo question asked (`ask`, `tell` as LoadLoop's);
    // the worker stretches it when `choice` asks for that, reporting
    // `progress(kStretchPhase, ch, percent)` (`choice.progress` is not
    // used); the loop goes into the channel on the owner thread just before
    // `done` gets the report. The stretch aims at the tempo of the moment
    // of the start. A load that ends while reading, or one without a
    // stretch, also ends through `done` (with no progress). A Cancel stops
    // the stretch at its next report and leaves the channel as it was
    // (report.stretchCancelled). WrongMode at once while a job is busy.
    SongResult StartLoadLoop(Song& song, int ch, const std::string& path, Song::LoadChoice choice,
                             const std::function<bool(unsigned messageId)>& ask,
                             const std::function<void(unsigned messageId)>& tell,
                             ProgressFn progress, LoopDoneFn done);

    // Any thread; the job ends soon after (its `done` says Cancelled).
    void Cancel();
    // Owner thread: whether a job runs or its end has not been delivered.
    bool Busy() const { return m_busy; }

  private:
    static constexpr std::uint32_t kMsgProgress = 0x601;
    static constexpr std::uint32_t kMsgDone = 0x602;
    // The worker's part: runs `work` with a progress callback that reaches
    // the owner, then `finish` on the owner thread with its result, whose
    // answer goes to `done`.
    using WorkFn = std::function<SongResult(const ProgressFn&, const std::atomic<bool>*)>;
    using FinishFn = std::function<SongResult(SongResult)>;
    void Launch(WorkFn work, FinishFn finish, ProgressFn progress, DoneFn done);
    platform::LParam OnMessage(std::uint32_t message, platform::WParam w, platform::LParam l);
    void Join();

    std::unique_ptr<platform::MessageTarget> m_target;
    ProgressFn m_progress;  // owner thread
    DoneFn m_done;          // owner thread
    FinishFn m_finish;      // owner thread
    bool m_busy = false;    // owner thread
    std::atomic<bool> m_cancel{false};
    // Progress reports delivered on the owner thread; the worker waits for
    // each of its reports to be counted here (or for a cancel).
    std::mutex m_ackMutex;
    std::condition_variable m_ackChanged;
    std::uint64_t m_acked = 0;  // written: owner (under m_ackMutex); read: worker
    std::thread m_worker;
};

}  // namespace tamboro::engine
