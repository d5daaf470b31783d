#pragma once
// The channel menu's commands and when each one is offered.
namespace tamboro::app {

inline constexpr int kCmdLoadLoop = 32773;    // "Carica &La traccia"
inline constexpr int kCmdSaveLoop = 32774;    // "&Salva Traccia"
inline constexpr int kCmdRemoveLoop = 32775;  // "&Rimuovi Traccia"
inline constexpr int kCmdRenameLoop = 32776;  // "Rino&mina Traccia"
inline constexpr int kCmdEffect = 32837;      // "&Effetti"
// Undo and redo of the song's changes, the menu's last two items (the
// framework's own edit command numbers).
inline constexpr int kCmdUndo = 0xE12B;  // "&Annulla"
inline constexpr int kCmdRedo = 0xE12E;  // "Ri&peti"

struct CommandState {
    bool enabled = false;
    bool checked = false;
};

// What the menu shows for `command` on a channel that holds a loop or not,
// sounds or not, and is an effect channel or not. Loading is always
// offered; the other four only for a loaded channel that is silent; the
// effect item is checked on an effect channel.
CommandState ChannelCommandState(int command, bool holdsLoop, bool sounding, bool effect);

}  // namespace tamboro::app
