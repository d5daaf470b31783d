#include "audio/wave/SoundResult.h"

#include "platform/StringTable.h"

namespace tamboro::audio {

unsigned ErrorTextBId(int code) {
    switch (code) {
        case 0:
            return 0;
        case 1:
            return 1010;
        case 3:
            return 1011;
        case 4:
            return 1012;
        case 6:
            return 1005;
        case 7:
            return 1001;
        case 11:
            return 1003;
        case 12:
            return 1006;
        default:
            return 1000;
    }
}

std::string ErrorTextB(int code) {
    const unsigned id = ErrorTextBId(code);
    return id == 0 ? std::string() : platform::LoadString(id);
}

}  // namespace tamboro::audio
