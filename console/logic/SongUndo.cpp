#include "console/logic/SongUndo.h"

#include <array>
#include <memory>
#include <utility>

namespace tamboro::console {

SongUndo::SongUndo(engine::Song& song, std::size_t depth) : m_song(song), m_history(depth) {}

void SongUndo::Record() {
    m_history.Record(m_song.Document());
}

bool SongUndo::Commit(const engine::SongDocument& before) {
    if (m_song.Document() == before) return false;
    m_history.Record(before);
    return true;
}

engine::Song::LoadLoopReport SongUndo::LoadLoop(int ch, const std::string& path,
                                                const engine::Song::LoadChoice& choice,
                                                const std::function<bool(unsigned)>& ask,
                                                const std::function<void(unsigned)>& tell) {
    const engine::SongDocument before = Begin();
    auto report = m_song.LoadLoop(ch, path, choice, ask, tell);
    Commit(before);
    return report;
}

engine::SongResult SongUndo::RemoveLoop(int ch) {
    const engine::SongDocument before = Begin();
    const engine::SongResult result = m_song.ReplaceChannel(ch, nullptr, false);
    Commit(before);
    return result;
}

engine::SongResult SongUndo::RenameChannel(int ch, std::string name) {
    const engine::SongDocument before = Begin();
    const engine::SongResult result = m_song.SetChannelName(ch, std::move(name));
    Commit(before);
    return result;
}

engine::SongResult SongUndo::SwitchEffect(int ch) {
    const engine::SongDocument before = Begin();
    const engine::SongResult result = m_song.SetEffect(ch, m_song.IsEffect(ch) == 0);
    Commit(before);
    return result;
}

engine::SongResult SongUndo::StartRecording() {
    const engine::SongDocument before = Begin();
    const engine::SongResult result = m_song.StartRecording();
    // The take is still to come: the step is kept whatever it records.
    if (result == engine::SongResult::Ok) m_history.Record(before);
    return result;
}

UndoOutcome SongUndo::Undo() {
    return Step(true);
}

UndoOutcome SongUndo::Redo() {
    return Step(false);
}

UndoOutcome SongUndo::Step(bool undo) {
    UndoOutcome outcome;
    const engine::SongDocument& now = m_song.Document();
    std::array<std::shared_ptr<const engine::ChannelLoop>, engine::kChannelCount> loops;
    std::array<bool, engine::kChannelCount> effect{};
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        loops[ch] = now.channels[ch].loop;
        effect[ch] = now.channels[ch].IsEffect();
    }
    const double tempo = now.tempo;

    engine::SongDocument restored;
    outcome.history =
        undo ? m_history.Undo(now, Busy(), restored) : m_history.Redo(now, Busy(), restored);
    if (outcome.history != HistoryResult::Ok) return outcome;
    outcome.song = m_song.RestoreDocument(restored);
    const engine::SongDocument& back = m_song.Document();
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        if (back.channels[ch].loop != loops[ch] || back.channels[ch].IsEffect() != effect[ch]) {
            outcome.reloaded |= std::uint32_t{1} << ch;
        }
    }
    outcome.tempoChanged = back.tempo != tempo;
    return outcome;
}

}  // namespace tamboro::console
