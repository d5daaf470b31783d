// tamboro: the desktop program.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/CConsoleApp.h"
#include "console/panel/ProPanel.h"
#include "platform/StringTable.h"
#include "resources/SkinResources.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!tamboro::platform::ApplyLanguageOption(args)) {
        std::fprintf(stderr, "tamboro: --lang takes en or it\n");
        return 2;
    }
    tamboro::app::CConsoleApp app(argc, argv);
    // The skin pictures, the main console and the mix editor.
    tamboro::resources::RegisterSkinResources();
    tamboro::app::StartOptions options;
    options.panels = &tamboro::console::CreateConsolePanel;
    const int started = app.InitInstance(args, std::move(options));
    if (started >= 0) return started;
    return app.exec();
}
