// Song files: whatever the bytes, loading either gives a song or refuses the
// file with a result, and a loaded song saves and loads back the same.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "audio/OutputDevice.h"
#include "engine/Song.h"
#include "platform/Messages.h"
#include "platform/TempFiles.h"

namespace {

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamboro;
    static const std::string folder = [] {
        char templ[] = "/tmp/tamboro-fuzz-song-XXXXXX";
        const char* made = ::mkdtemp(templ);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    ::setenv("TMPDIR", folder.c_str(), 1);
    const std::string path = folder + "/in.tbo";
    if (!WriteFile(path, data, size)) return 0;

    platform::EventLoop loop;
    // A small device format keeps the preparation of loops cheap.
    audio::OutputDevice device(nullptr);
    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, 8000, 8, 1);
    device.SetWindowAndFormat(format, 0);
    engine::Song song(loop);
    song.AttachDevice(&device);
    if (song.LoadSong(path, 0) == 0) {
        const std::string again = folder + "/again.tbo";
        if (song.SaveSong(again, 0, nullptr) != 0) std::abort();
        std::size_t events = 0;
        for (int ch = 0; ch < engine::kChannelCount; ++ch) events += song.GetEvents(ch).size();
        if (song.LoadSong(again, 0) != 0) std::abort();
        std::size_t eventsAgain = 0;
        for (int ch = 0; ch < engine::kChannelCount; ++ch) {
            eventsAgain += song.GetEvents(ch).size();
        }
        if (events != eventsAgain) std::abort();
        platform::DeleteFile(again);
    }
    song.LoadSong(path, engine::Song::kLoadMixOnly);
    song.DetachDevice();
    platform::DeleteFile(path);
    return 0;
}
