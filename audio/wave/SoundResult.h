#pragma once
// Result codes of the sound-file readers and writers and of the converter.
// The values are stored nowhere but are shown to users with their message
// (ErrorTextB), so they never change.
#include <cstdint>
#include <string>

namespace tamboro::audio {

enum class SoundResult : std::uint8_t {
    Ok = 0,
    ConversionUnavailable = 1,  // the output format cannot be built; AU encoding not supported
    SaveUnknownType = 2,        // save: the file type is not known
    LoadUnknownType = 3,        // load: the file type is not known
    OpenFailed = 4,             // load: the file cannot be opened or mapped
    InvalidFile = 5,   // load: not a valid file of its type; conversion while loading failed
    OutOfMemory = 6,   // load: no memory for the copy
    CreateFailed = 7,  // save: the file cannot be created
    NoSamples = 8,     // the wave has no samples (save, convert)
    WriteFailed = 9,   // save: writing failed
    ConverterOpenFailed = 10,  // the converter could not be opened
    Damaged = 11,              // load: sizes point outside the file, or wrong magic
    AuHeaderWriteFailed = 12,  // save: writing the AU header failed
    Count_                     // stays last
};
static_assert(static_cast<int>(SoundResult::ConversionUnavailable) == 1);
static_assert(static_cast<int>(SoundResult::InvalidFile) == 5);
static_assert(static_cast<int>(SoundResult::NoSamples) == 8);
static_assert(static_cast<int>(SoundResult::ConverterOpenFailed) == 10);
static_assert(static_cast<int>(SoundResult::Damaged) == 11);
static_assert(static_cast<int>(SoundResult::AuHeaderWriteFailed) == 12);
static_assert(static_cast<int>(SoundResult::Count_) == 13);

inline int ToInt(SoundResult r) {
    return static_cast<int>(r);
}

// String-table id of the message for a load result (the ErrorTextB table):
// 0 for code 0 (no message).
unsigned ErrorTextBId(int code);
// The message text for a load result, from the string table (UTF-8).
std::string ErrorTextB(int code);
inline std::string ErrorTextB(SoundResult r) {
    return ErrorTextB(ToInt(r));
}

}  // namespace tamboro::audio
