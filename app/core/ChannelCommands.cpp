#include "app/core/ChannelCommands.h"

namespace tamboro::app {

CommandState ChannelCommandState(int command, bool holdsLoop, bool sounding, bool effect) {
    const bool editable = holdsLoop && !sounding;
    switch (command) {
        case kCmdLoadLoop:
            return {true, false};
        case kCmdSaveLoop:
        case kCmdRemoveLoop:
        case kCmdRenameLoop:
            return {editable, false};
        case kCmdEffect:
            return {editable, effect};
        default:
            return {false, false};
    }
}

}  // namespace tamboro::app
