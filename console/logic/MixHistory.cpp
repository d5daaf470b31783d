#include "console/logic/MixHistory.h"

#include <algorithm>
#include <utility>

namespace tamboro::console {

MixHistory::MixHistory(std::size_t depth) : m_depth(std::max<std::size_t>(depth, 1)) {}

void MixHistory::Record(const engine::SongDocument& before) {
    m_redo.clear();
    m_undo.push_back({before, m_current});
    if (m_undo.size() > m_depth) m_undo.pop_front();
    // A fresh number: a state that was saved and then undone past is never
    // reached again by new edits.
    m_current = m_nextState++;
}

HistoryResult MixHistory::Step(std::deque<Entry>& from, std::deque<Entry>& to,
                               const engine::SongDocument& current, bool busy,
                               engine::SongDocument& restored) {
    if (busy) return HistoryResult::Busy;
    if (from.empty()) return HistoryResult::Nothing;
    Entry entry = std::move(from.back());
    from.pop_back();
    to.push_back({current, m_current});
    m_current = entry.state;
    restored = std::move(entry.doc);
    return HistoryResult::Ok;
}

HistoryResult MixHistory::Undo(const engine::SongDocument& current, bool busy,
                               engine::SongDocument& restored) {
    return Step(m_undo, m_redo, current, busy, restored);
}

HistoryResult MixHistory::Redo(const engine::SongDocument& current, bool busy,
                               engine::SongDocument& restored) {
    return Step(m_redo, m_undo, current, busy, restored);
}

void MixHistory::Clear() {
    m_undo.clear();
    m_redo.clear();
    m_current = m_nextState++;
    m_saved = m_current;
}

void MixHistory::Forget() {
    m_undo.clear();
    m_redo.clear();
    m_current = m_nextState++;
}

}  // namespace tamboro::console
