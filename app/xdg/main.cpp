// tamboro-xdg: writes the song type's shared-mime-info package and the
// desktop entry for an installed program, the same files the program writes
// into the user's folders at start.
//
//   tamboro-xdg OUT_FOLDER PROGRAM
#include <cstdio>
#include <fstream>
#include <string>

#include "app/core/XdgRegistration.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamboro-xdg OUT_FOLDER PROGRAM\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok =
        Write(folder + "/tamboro.xml", tamboro::app::MimePackage()) &&
        Write(folder + "/" + tamboro::app::kDesktopId, tamboro::app::DesktopEntry(argv[2]));
    if (!ok) std::fprintf(stderr, "tamboro-xdg: cannot write into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
