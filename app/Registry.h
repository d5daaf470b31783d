#pragma once
// Thin helpers over the settings files, named as the rest of the program
// knows them, and window invalidation.
//
// A "root key" chooses the file: the user's settings or the machine-wide
// ones; a "sub key" is a section of that file, a value name a key in it.
#include <QRect>
#include <string>
#include <string_view>

class QWidget;

namespace tamboro::app {

enum class RegistryRoot { CurrentUser, LocalMachine };

// The machine-wide section with the program's folders.
inline constexpr const char* kMachinePaths = "PATHS";

// Reads a string value into `out`, cut to `bufferSize` - 1 bytes as a
// buffer of that size would hold it. Answers 1 when the file could be
// opened (whether or not the value was there: `out` is then left as it
// was), 0 otherwise.
int ReadRegistryValue(RegistryRoot root, std::string_view subKey, std::string_view valueName,
                      std::string* out, std::size_t bufferSize = 256);
// Writes a string value; 1 on success.
int WriteRegistryString(RegistryRoot root, std::string_view subKey, std::string_view valueName,
                        std::string_view text);

// Asks for `window` and every child to be repainted; with `rect` (in the
// window's coordinates) only that part of the window and the children that
// meet it.
void InvalidateTree(QWidget* window, const QRect* rect = nullptr);

// The folder a machine-wide value names, with a trailing '/' when it is not
// empty; `fallback` when the value is missing or empty.
std::string MachineFolder(std::string_view valueName, const std::string& fallback);

}  // namespace tamboro::app
