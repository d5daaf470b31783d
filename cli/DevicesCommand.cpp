// tamboro-cli devices: the sound output devices, one a line with its index.
#include <cstdio>
#include <string>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "audio/output/sdl/SdlBackend.h"
#include "cli/Commands.h"
#include "cli/Options.h"

namespace tamboro::cli {

int RunDevices(const std::vector<std::string>& args) {
    Options options("tamboro-cli devices");
    if (const auto exit = options.Parse(args, 0, 0)) return *exit;
    audio::OutputDevice device(audio::sdl::MakeSdlBackend());
    // -1 is the system's default device; SelectDevice and --device take it too.
    std::printf("-1\t(default device)\n");
    for (int i = 0; i < device.DeviceCount(); ++i) {
        std::printf("%d\t%s\n", i, device.DeviceName(i).c_str());
    }
    return kExitOk;
}

}  // namespace tamboro::cli
