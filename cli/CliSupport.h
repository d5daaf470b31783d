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
bool IsSongFile(const std::string& path);

}  // namespace tamboro::cli
