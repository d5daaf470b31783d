#include "app/core/Document.h"

#include "platform/StringTable.h"

namespace tamboro::app {

unsigned CloseQuestionId(CloseReason reason, bool modified) {
    if (modified) return kAskSaveChanges;
    return reason == CloseReason::Quit ? kAskQuit : 0;
}

std::string WindowTitle(const std::string& songTitle, bool modified) {
    std::string title = modified ? "*" : "";
    title += platform::LoadString(128);
    title += " - ";
    title += songTitle;
    return title;
}

}  // namespace tamboro::app
