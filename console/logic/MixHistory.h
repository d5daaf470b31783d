#pragma once
// Undo and redo for the mix editor and the channel commands: whole copies
// of the song document (a mix is a few thousand events; copies are cheap),
// kept before every change. Knows which state was last saved, so the
// title's modified mark can return to clean when undo reaches it.
// UI thread only.
//
// Use:  history.Record(song.Document()); ...change the song...
//       if (history.Undo(song.Document(), song.TakeRunning(), back) == HistoryResult::Ok)
//           song.RestoreDocument(back);
// SongUndo (SongUndo.h) does this for a song, with the channel commands.
#include <cstdint>
#include <deque>

#include "engine/SongDocument.h"

namespace tamboro::console {

enum class HistoryResult : std::uint8_t {
    Ok = 0,
    Nothing = 1,  // no step to undo or redo
    Busy = 2,     // refused while recording or playing back
};

class MixHistory {
  public:
    static constexpr std::size_t kDefaultDepth = 128;

    // `depth`: the steps kept (at least 1); the oldest are dropped.
    explicit MixHistory(std::size_t depth = kDefaultDepth);

    // Keeps `before`, the document as it was just before a change; the
    // redo steps are dropped.
    void Record(const engine::SongDocument& before);
    // Puts the state before the last change into `restored` and keeps
    // `current` for redo. Busy while `busy` (a take or a playback runs),
    // Nothing at the oldest kept state; `restored` is untouched then.
    HistoryResult Undo(const engine::SongDocument& current, bool busy,
                       engine::SongDocument& restored);
    HistoryResult Redo(const engine::SongDocument& current, bool busy,
                       engine::SongDocument& restored);

    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    std::size_t UndoSteps() const { return m_undo.size(); }
    std::size_t RedoSteps() const { return m_redo.size(); }

    // Another song was opened (or a new one made): every step goes and the
    // current state counts as saved. Not for the reload that follows a
    // save: that is MarkSaved().
    void Clear();
    // A change the steps cannot take back was made (such as a loop loaded
    // while undo covers only the mix): every step goes, and the state that
    // was saved can no longer be reached, so the song stays modified until
    // the next save.
    void Forget();
    // The current state was written to the song file.
    void MarkSaved() { m_saved = m_current; }
    // Whether the current state differs from the last saved one (by the
    // path of changes: a change that is then undone is clean again).
    bool IsModified() const { return m_current != m_saved; }

  private:
    struct Entry {
        engine::SongDocument doc;
        std::uint64_t state = 0;
    };
    // Takes the latest entry of `from` as the new current state and keeps
    // `current` on `to` (undo: from the undo steps to the redo steps).
    HistoryResult Step(std::deque<Entry>& from, std::deque<Entry>& to,
                       const engine::SongDocument& current, bool busy,
                       engine::SongDocument& restored);

    std::size_t m_depth;
    std::deque<Entry> m_undo;     // oldest first
    std::deque<Entry> m_redo;     // next redo last
    std::uint64_t m_current = 0;  // the state the song is in now
    std::uint64_t m_saved = 0;
    std::uint64_t m_nextState = 1;
};

}  // namespace tamboro::console
