#pragma once
// The load-loop command with its stretch on a worker thread, so that the
// owner's thread stays responsive while a loop is time-stretched: the
// percentages arrive as posted messages, Cancel stops the stretch at its
// next report, and the loop goes into the channel on the owner's thread.
//
//   owner thread            worker thread
//   ------------            -------------
//   LoopLoadJob(...)  --->  Song::StretchLoop (no song state touched)
//     ReadLoop, ask           | posts (message, percent, 0) now and then
//   Cancel() any time         | posts (message, 100 or less, 1) at the end
//   Finish()  <---------------+
//     PutLoop: the loop goes into the channel
//
// A load without a stretch (or one that ends while reading) is done at
// construction; Finish then puts the loop in at once.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "engine/Song.h"
#include "platform/Messages.h"

namespace tamboro::engine {

class LoopLoadJob {
  public:
    // Owner thread. Reads the loop and asks the first-loop tempo question
    // (Song::ReadLoop), then starts the worker when there is a stretch to
    // run. `notify` (may be null; it must outlive the job) is posted
    // (notifyMessage, percent, 0) while the worker stretches and
    // (notifyMessage, percent, 1) once when it is done. `choice.progress`
    // is not used: the job reports through `notify` and Percent().
    LoopLoadJob(Song& song, int ch, const std::string& path, Song::LoadChoice choice,
                platform::MessageTarget* notify, std::uint32_t notifyMessage,
                const std::function<bool(unsigned messageId)>& ask = {},
                const std::function<void(unsigned messageId)>& tell = {});
    // Cancels a running stretch and waits for the worker; the song stays as
    // it was unless Finish ran.
    ~LoopLoadJob();
    LoopLoadJob(const LoopLoadJob&) = delete;
    LoopLoadJob& operator=(const LoopLoadJob&) = delete;

    // Any thread: the stretch stops at its next report.
    void Cancel() { m_cancel = true; }
    // Any thread: the last percentage reported, 0..100.
    int Percent() const { return m_percent.load(); }
    // Any thread: the worker is done (or there was none).
    bool Done() const { return m_done.load(); }
    // Owner thread: waits for the worker, then puts the loop into the
    // channel unless the load ended before (refused, cancelled, failed).
    // The report says how the load went. Once only; later calls answer the
    // same report.
    Song::LoadLoopReport Finish();

  private:
    Song& m_song;
    Song::LoopLoad m_load;
    platform::MessageTarget* m_notify;
    std::uint32_t m_notifyMessage;
    bool m_finished = false;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_percent{0};
    std::atomic<bool> m_done{false};
    // Last: the worker reads the members above, so it is joined before they go.
    std::thread m_worker;
};

}  // namespace tamboro::engine
