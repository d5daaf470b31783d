// tamboro-skins: paints every picture of the program and writes the 8-bit
// bitmaps the program embeds.
//
//   tamboro-skins OUTPUT_FOLDER [--fonts FOLDER] [--review FOLDER]
//
// OUTPUT_FOLDER receives bmp/, masks/, manifest.txt, SkinResources.cpp and
// the icon theme's files (icons/). --review also writes contact sheets and
// composed consoles. The fonts (Liberation Sans and Serif) are loaded from
// their files, never looked up by name, so the pictures do not depend on the
// machine's font settings; the toolkit runs on its offscreen platform.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/skins/Art.h"
#include "tools/skins/Output.h"
#include "tools/skins/Pictures.h"
#include "tools/skins/Review.h"

int main(int argc, char** argv) {
    using namespace tamboro::skins;
    std::string out, fonts = "/usr/share/fonts/truetype/liberation2", review;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--fonts" && i + 1 < argc) {
            fonts = argv[++i];
        } else if (a == "--review" && i + 1 < argc) {
            review = argv[++i];
        } else if (out.empty() && a.rfind("--", 0) != 0) {
            out = a;
        } else {
            out.clear();
            break;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr,
                     "usage: tamboro-skins OUTPUT_FOLDER [--fonts FOLDER] [--review FOLDER]\n");
        return 2;
    }
    // No display, no user settings, no complaint about a missing runtime folder.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::filesystem::path runtime = std::filesystem::path(out) / ".runtime";
        std::error_code ec;
        std::filesystem::create_directories(runtime, ec);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    setenv("QT_QPA_FONTDIR", fonts.c_str(), 1);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    const QString dir = QString::fromStdString(fonts) + "/";
    if (!LoadFonts(dir + "LiberationSans-Regular.ttf", dir + "LiberationSans-Bold.ttf",
                   dir + "LiberationSerif-Bold.ttf")) {
        std::fprintf(stderr, "tamboro-skins: cannot load the Liberation fonts from %s\n",
                     fonts.c_str());
        return 1;
    }
    std::vector<Picture> pictures;
    for (int t = 0; t < 4; ++t) {
        auto theme = PaintTheme(t);
        pictures.insert(pictures.end(), std::make_move_iterator(theme.begin()),
                        std::make_move_iterator(theme.end()));
    }
    auto shared = PaintShared();
    pictures.insert(pictures.end(), std::make_move_iterator(shared.begin()),
                    std::make_move_iterator(shared.end()));
    const std::vector<Encoded> images = Encode(pictures);
    if (!WriteOutputs(images, out) || !WriteIcons(out)) {
        std::fprintf(stderr, "tamboro-skins: cannot write into %s\n", out.c_str());
        return 1;
    }
    if (!review.empty() && !WriteReview(images, review)) {
        std::fprintf(stderr, "tamboro-skins: cannot write the review pictures into %s\n",
                     review.c_str());
        return 1;
    }
    return 0;
}
