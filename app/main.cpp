// tamboro: the desktop program.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CConsoleApp.h"
#include "platform/StringTable.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!tamboro::platform::ApplyLanguageOption(args)) {
        std::fprintf(stderr, "tamboro: --lang takes en or it\n");
        return 2;
    }
    tamboro::app::CConsoleApp app(argc, argv);
    const int started = app.InitInstance(args);
    if (started >= 0) return started;
    return app.exec();
}
