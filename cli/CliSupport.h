#pragma once
// Small pieces shared by the commands: option values, encodings, the
// progress bar drawn on a terminal, and Ctrl-C.
#include <cstdint>
#include <optional>
#include <string>

#include "audio/wave/WaveFormat.h"

namespace tamboro::cli {

// The format tag of an --encoding name (pcm, float, mulaw, alaw, ima-adpcm,
// ms-adpcm).
std::optional<std::uint16_t> EncodingTag(const std::string& name);

// A progress bar on stderr, drawn only when stderr is a terminal and only
// when the text or the percentage changes.
class ProgressBar {
  public:
    ProgressBar();
    ~ProgressBar();
    void Show(const char* label, int percent);

  private:
    bool m_on;
    std::string m_label;
    int m_last = -1;
};

// Installs a SIGINT handler for the life of the object; Interrupted() tells
// whether Ctrl-C was pressed since.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    bool Interrupted() const;
};

// Whether `path` names a song file: a ".tbo" name, or an archive's magic.
// Never waits on a FIFO.
bool IsSongFile(const std::string& path);

// Reads the whole text of `path` ("-": standard input, else a regular file)
// into `text`, refusing more than `maxBytes`. False on failure, with the
// reason recorded as the thread's file fault.
bool ReadInputText(const std::string& path, std::size_t maxBytes, std::string& text);

// Whether `path` can be read as an input file: a regular file that opens
// (a FIFO, a device or a folder is refused at once). False with the reason
// recorded as the thread's file fault.
bool IsReadableInput(const std::string& path);

// Whether a sound file written to `path` goes out as a stream: "-"
// (standard output) or an existing pipe, FIFO or character device.
bool IsStreamOutput(const std::string& path);

}  // namespace tamboro::cli
