#include "console/logic/TextDisplay.h"

#include <cstdio>

#include "audio/wave/Levels.h"
#include "platform/StringTable.h"

namespace tamboro::console {
namespace {

// Length in bytes of the UTF-8 sequence starting with `lead`; stray
// continuation bytes count as one so that broken text still advances.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

std::string Number(int value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", value);
    return buf;
}

void ComposeMixStatus(const TextPanelState& s, unsigned statusId, std::vector<TextItem>& out) {
    const bool odd = (s.blinkCounter & 1u) != 0;
    if (odd) out.push_back({kTextLeft, kTextLineTop[0], platform::LoadString(statusId)});
    if (s.mixTimeMs != 0 || odd) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f s", s.mixTimeMs * 0.001);
        out.push_back({kTextLeft, kTextLineTop[1], buf});
    }
}

}  // namespace

std::string PanelName(std::string_view name) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < name.size() && chars < 16; ++chars) {
        const auto lead = static_cast<unsigned char>(name[i]);
        std::size_t n = SequenceLength(lead);
        if (i + n > name.size()) n = name.size() - i;
        if (n == 1 && lead >= 'a' && lead <= 'z') {
            out.push_back(static_cast<char>(lead - 'a' + 'A'));
        } else if (n == 2 && lead == 0xC3 && i + 1 < name.size()) {
            // U+00E0..U+00FE are the lower-case Latin-1 letters (but U+00F7,
            // the division sign); their capitals lie 0x20 below.
            const auto trail = static_cast<unsigned char>(name[i + 1]);
            out.push_back(static_cast<char>(lead));
            const bool lower = trail >= 0xA0 && trail <= 0xBE && trail != 0xB7;
            out.push_back(static_cast<char>(lower ? trail - 0x20 : trail));
        } else {
            out.append(name.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string TooltipText(bool channelEmpty, std::string_view name) {
    if (channelEmpty) return platform::LoadString(kStringEmpty);
    return std::string(name);
}

std::vector<TextItem> ComposeTextPanel(const TextPanelState& s) {
    std::vector<TextItem> out;
    if (s.mix == TextPanelState::Mix::Recording) {
        ComposeMixStatus(s, kStringRecording, out);
        return out;
    }
    if (s.mix == TextPanelState::Mix::PlayingBack) {
        ComposeMixStatus(s, kStringPlayingBack, out);
        return out;
    }
    const std::string name =
        PanelName(s.channelEmpty ? platform::LoadString(kStringEmpty) : s.channelName);
    out.push_back({kTextLeft, kTextLineTop[0], Number(s.channel + 1) + ". " + name});
    out.push_back({kTextLeft, kTextLineTop[1], platform::LoadString(kStringVolume) + ":"});
    out.push_back({kTextNumberLeft, kTextLineTop[1], Number(audio::AttenuationToVolume(s.volume))});
    out.push_back({kTextLeft, kTextLineTop[2], platform::LoadString(kStringBalance) + ":"});
    out.push_back({kTextNumberLeft, kTextLineTop[2], Number(audio::PanToBalance(s.pan))});
    return out;
}

}  // namespace tamboro::console
