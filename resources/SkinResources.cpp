#include "resources/SkinResources.h"

#include <mutex>

namespace tamboro::resources {

void RegisterSkinResources() {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterResourceTable(&TamboroSkinResources); });
}

}  // namespace tamboro::resources
