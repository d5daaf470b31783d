#pragma once
// The song's small shared types: results, mix events, mix modes, channel
// flags.
#include <cstdint>
#include <list>
#include <string>

namespace tamboro::engine {

inline constexpr int kChannelCount = 20;
inline constexpr std::uint32_t kNoVoice = 0xFFFFFFFFu;

// Results of the song's operations; 0 is success. Values are stable: the
// user interface maps them to messages.
enum class SongResult : int {
    Ok = 0,
    BadArgument = 1,     // bad channel index or unusable argument
    NoDevice = 2,        // no device, no voice, or the voice holds no sample
    WrongMode = 3,       // wrong mix mode for this operation
    ArchiveFailed = 4,   // archive not opened, rename failed, loop not prepared for mixdown
    OutOfMemory = 5,     // conversion or memory failure preparing a loop or a mixdown
    NoMix = 6,           // the song holds no mix to render
    CreateFailed = 7,    // the song file could not be created
    BadSongFile = 8,     // a loop could not be read back, or not a song file
    TempFileFailed = 9,  // a loop could not be written to or read from a temporary file
    OpenFailed = 10,     // the song file could not be opened
    WriteFailed = 11,    // a write to the song file or the mixdown file failed
    Cancelled = 12,      // the user cancelled a save or a mixdown; nothing was written
    Count_
};
static_assert(static_cast<int>(SongResult::WriteFailed) == 11);

constexpr int ToInt(SongResult r) {
    return static_cast<int>(r);
}

// The string-table id of the message for a result (none for 0).
unsigned SongResultMessageId(int result);
// The message text for a result; empty for 0.
const std::string& SongResultMessage(int result);
inline unsigned SongResultMessageId(SongResult r) {
    return SongResultMessageId(ToInt(r));
}
inline const std::string& SongResultMessage(SongResult r) {
    return SongResultMessage(ToInt(r));
}

enum MixEventKind : std::uint32_t {
    kChannelOn = 1,
    kChannelOff = 2,
    kVolume = 4,
    kPan = 8,
    kMasterVolume = 16,
};
inline constexpr std::uint32_t kAllKinds = 31;
inline constexpr std::uint32_t kOnOffKinds = 3;

// One recorded action; written unchanged (five little-endian u32 words)
// into the song file.
struct MixEvent {
    std::uint32_t time = 0;  // ms since the start of the recording
    std::uint32_t kind = 0;
    std::uint32_t channel = 0;
    std::uint32_t value = 0;  // volume and pan are signed values stored as u32
    std::uint32_t reserved = 0;

    friend bool operator==(const MixEvent&, const MixEvent&) = default;
};
static_assert(sizeof(MixEvent) == 20);

// A channel's recorded mix, sorted by time.
using EventList = std::list<MixEvent>;

// Inserts after every event with the same or an earlier time, so events of
// one millisecond keep the order they were recorded in. Returns the new node.
EventList::iterator InsertEvent(EventList& list, const MixEvent& event);

enum class MixMode : std::uint32_t {
    NoSong = 0,
    Playing = 1,
    Recording = 2,
    Ready = 3,
};

enum ChannelFlag : std::uint32_t {
    kLoaded = 1,     // the channel holds a loop
    kEffect = 2,     // not fitted to the tempo, not started in phase
    kInArchive = 4,  // the loop's audio still lies in the open song file
};

}  // namespace tamboro::engine
