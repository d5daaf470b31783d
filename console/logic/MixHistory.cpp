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

HistoryResult MixHistory::Undo(const engine::SongDocument& current, bool busy,
                               engine::SongDocument& restored) {
    if (busy) return HistoryResult::Busy;
    if (m_undo.empty()) return HistoryResult::Nothing;
    Step step = std::move(m_undo.back());
    m_undo.pop_back();
    m_redo.push_back({current, m_current});
    m_current = step.state;
    restored = std::move(step.doc);
    return HistoryResult::Ok;
}

HistoryResult MixHistory::Redo(const engine::SongDocument& current, bool busy,
                               engine::SongDocument& restored) {
    if (busy) return HistoryResult::Busy;
    if (m_redo.empty()) return HistoryResult::Nothing;
    Step step = std::move(m_redo.back());
    m_redo.pop_back();
    m_undo.push_back({current, m_current});
    m_current = step.state;
    restored = std::move(step.doc);
    return HistoryResult::Ok;
}

void MixHistory::Clear() {
    m_undo.clear();
    m_redo.clear();
    m_current = m_nextState++;
    m_saved = m_current;
}

}  // namespace tamboro::console
