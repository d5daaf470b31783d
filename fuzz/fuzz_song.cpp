// Song files: whatever the bytes, loading either gives a song or refuses the
// file with a result, and a loaded song saves and loads back the same.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

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
        // Memory-backed when the machine has it: the harness writes files.
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string templ = base + "/tamboro-fuzz-song-XXXXXX";
        const char* made = ::mkdtemp(templ.data());
        return std::string(made != nullptr ? made : "/tmp");
    }();
    ::setenv("TMPDIR", folder.c_str(), 1);
    const std::string path = folder + "/in.tbo";
    if (!WriteFile(path, data, size)) return 0;

    platform::EventLoop loop;
    // Without a device the loops are not prepared (the WAV reader and the
    // converter have harnesses of their own); saving reads every loop back
    // out of the archive all the same.
    engine::Song song(loop);
    // The save-and-load-again check costs most of the time: one input in
    // eight (by its size) gets it.
    if (song.LoadSong(path, 0) == engine::SongResult::Ok && size % 8 == 0) {
        const std::string again = folder + "/again.tbo";
        if (song.SaveSong(again, 0, nullptr) != engine::SongResult::Ok) std::abort();
        std::size_t events = 0;
        for (int ch = 0; ch < engine::kChannelCount; ++ch)
            events += song.GetEvents(ch)->size();
        if (song.LoadSong(again, 0) != engine::SongResult::Ok) std::abort();
        std::size_t eventsAgain = 0;
        for (int ch = 0; ch < engine::kChannelCount; ++ch) {
            eventsAgain += song.GetEvents(ch)->size();
        }
        if (events != eventsAgain) std::abort();
        platform::DeleteFile(again);
    }
    song.NewSong(120.0);
    song.LoadSong(path, engine::Song::kLoadMixOnly);
    platform::DeleteFile(path);
    return 0;
}
