#pragma once
// Developer diagnostics. Users never see these: the text goes to stderr only
// when the environment variable TAMBORO_DEBUG is set.

namespace tamboro::platform {

// printf-style; the formatted text is cut at 255 bytes. Thread-safe. Never
// call from the audio callback.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Whether DebugLog writes anything (TAMBORO_DEBUG was set at first use).
bool DebugLogEnabled();

}  // namespace tamboro::platform
