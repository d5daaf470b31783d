#pragma once
// Undo and redo of everything that changes the song: lane edits, the channel
// commands (load, remove, rename, effect switch) and whole recordings. Each
// change keeps a copy of the document from before it (cheap: loops are
// shared, not copied); Undo and Redo bring the song back with
// Song::RestoreDocument, loops, names, flags and device slots included.
//
// The frame owns one beside the song and hands it to both consoles; every
// command that changes the song goes through it or records a step first.
// Toolkit-free; owner (user-interface) thread only.
//
//   undo.Record();  drag.Press(...) ... drag.Release();   // a lane edit
//   undo.RemoveLoop(ch);                                  // a channel command
//   const UndoOutcome o = undo.Undo();                    // Ctrl+Z
//   if (o.history == HistoryResult::Ok) ...rebuild the previews in o.reloaded,
//                                          repaint everything...
#include <cstdint>
#include <functional>
#include <string>

#include "console/logic/MixHistory.h"
#include "engine/Song.h"

namespace tamboro::console {

struct UndoOutcome {
    // Ok, Nothing (no step), Busy (a take runs or has not yet fully ended:
    // the song is untouched).
    HistoryResult history = HistoryResult::Nothing;
    // The restore's result: Ok, or the first loop that could not be prepared
    // again (PrepareChannel's result; that channel stays silent).
    engine::SongResult song = engine::SongResult::Ok;
    // Bit per channel whose loop or effect flag changed: its preview and
    // thumbnail are to be made again.
    std::uint32_t reloaded = 0;
    // The tempo changed (the mix editor's time axis follows).
    bool tempoChanged = false;
};

class SongUndo {
  public:
    explicit SongUndo(engine::Song& song, std::size_t depth = MixHistory::kDefaultDepth);

    // --- Steps ---------------------------------------------------------------
    // Before a change made on the song directly (a lane drag, a level at
    // rest, a text): keeps the document as it is now as one step.
    void Record();
    // A change in several parts (a loop load whose stretch runs on a
    // worker): Begin before the first part, Commit after the last. Commit
    // keeps `before` as one step only when the document changed since (a
    // failed or cancelled command leaves no step) and says whether it did.
    engine::SongDocument Begin() const { return m_song.Document(); }
    bool Commit(const engine::SongDocument& before);

    // --- The channel commands, each one step (none when nothing changed) ----
    // Song::LoadLoop: the loop (and the tempo a first loop may set).
    engine::Song::LoadLoopReport LoadLoop(int ch, const std::string& path,
                                          const engine::Song::LoadChoice& choice,
                                          const std::function<bool(unsigned messageId)>& ask = {},
                                          const std::function<void(unsigned messageId)>& tell = {});
    // Empties the channel (Song::ReplaceChannel with no loop). As its result.
    engine::SongResult RemoveLoop(int ch);
    // As Song::SetChannelName.
    engine::SongResult RenameChannel(int ch, std::string name);
    // Switches the effect flag (Song::SetEffect with the other value).
    engine::SongResult SwitchEffect(int ch);
    // Song::StartRecording; the take that follows is one step, undone
    // whole (the mix from before the take comes back).
    engine::SongResult StartRecording();

    // --- Undo and redo ---------------------------------------------------------
    UndoOutcome Undo();
    UndoOutcome Redo();
    bool CanUndo() const { return m_history.CanUndo(); }
    bool CanRedo() const { return m_history.CanRedo(); }
    // Busy: undo and redo are refused now (recording, playing back, or a
    // stop the audio thread has not carried out yet).
    bool Busy() const { return m_song.TakeRunning(); }

    // The steps: Clear() when another song is opened, MarkSaved() after a
    // save (and the reload that follows it), IsModified() for the title.
    MixHistory& History() { return m_history; }
    const MixHistory& History() const { return m_history; }

  private:
    UndoOutcome Step(bool undo);

    engine::Song& m_song;
    MixHistory m_history;
};

}  // namespace tamboro::console
