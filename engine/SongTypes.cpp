#include "engine/SongTypes.h"

#include "platform/StringTable.h"

namespace tamboro::engine {

unsigned SongResultMessageId(int result) {
    switch (result) {
        case 0:
            return 0;
        case 1:
            return 1007;
        case 2:
            return 1008;
        case 3:
            return 1007;
        case 4:
            return 1007;
        case 5:
            return 1005;
        case 6:
            return 1009;
        case 7:
            return 1001;
        case 8:
            return 1003;
        case 9:
            return 1000;
        case 10:
            return 1002;
        case 11:
            return 1006;
        default:
            return 1007;
    }
}

const std::string& SongResultMessage(int result) {
    static const std::string empty;
    const unsigned id = SongResultMessageId(result);
    return id == 0 ? empty : platform::LoadString(id);
}

EventList::iterator InsertEvent(EventList& list, const MixEvent& event) {
    // Recording appends in time order, so search from the back.
    auto it = list.end();
    while (it != list.begin()) {
        auto prev = std::prev(it);
        if (prev->time <= event.time) break;
        it = prev;
    }
    return list.insert(it, event);
}

}  // namespace tamboro::engine
