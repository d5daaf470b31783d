#pragma once
// What the frame says about the song as a document: its title line and the
// questions it asks before the song goes away.
#include <string>

namespace tamboro::app {

// The question asked before the song is closed, replaced or the program
// ends: a modified song asks "Salvare le modifiche al brano?" (2010, Yes,
// No, Cancel); otherwise closing the program asks 143 (Yes, No) and New,
// Load or a handed-over song ask nothing (0).
enum class CloseReason { Quit, ReplaceSong };
unsigned CloseQuestionId(CloseReason reason, bool modified);
inline constexpr unsigned kAskSaveChanges = 2010;
inline constexpr unsigned kAskQuit = 143;

// The window title: string 128 and the song's title joined by "%s - %s",
// with "*" in front while the song is modified.
std::string WindowTitle(const std::string& songTitle, bool modified);

}  // namespace tamboro::app
