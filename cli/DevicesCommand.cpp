// tamboro-cli devices: the sound output devices, one a line with its index.
#include <cstdio>
#include <string>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "audio/output/sdl/SdlBackend.h"
#include "cli/Commands.h"

namespace tamboro::cli {

int RunDevices(const std::vector<std::string>& args) {
    if (!args.empty()) return UsageError("devices takes no arguments", "tamboro-cli devices");
    audio::OutputDevice device(audio::sdl::MakeSdlBackend());
    // -1 is the system's default device; SelectDevice and --device take it too.
    std::printf("-1\t(default device)\n");
    for (int i = 0; i < device.DeviceCount(); ++i) {
        std::printf("%d\t%s\n", i, device.DeviceName(i).c_str());
    }
    return kExitOk;
}

}  // namespace tamboro::cli
