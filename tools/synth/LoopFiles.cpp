#include "tools/synth/LoopFiles.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace tamboro::synth {

namespace {

// Interim RIFF writer until the audio library's writers are in:
//   "RIFF" size "WAVE" "fmt " 16 <format> "data" size <samples>
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

bool WriteWav(const audio::Wave& wave, const std::string& path) {
    const audio::WAVEFORMATEX* f = wave.Format();
    if (!f || !wave.HasSamples()) return false;
    std::vector<std::uint8_t> out;
    const std::uint32_t bytes = wave.DataBytes();
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    Put32(out, 4 + 8 + 16 + 8 + bytes + (bytes & 1));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(out, 16);
    const std::vector<std::uint8_t> fmt = audio::SerializeFormat(*f);
    out.insert(out.end(), fmt.begin(), fmt.begin() + 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put32(out, bytes);
    out.insert(out.end(), wave.Data(), wave.Data() + bytes);
    if (bytes & 1) out.push_back(0);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

bool WriteLoopFile(const audio::Wave& wave, FileKind kind, const std::string& path) {
    (void)kind;
    return WriteWav(wave, path);
}

}  // namespace tamboro::synth
