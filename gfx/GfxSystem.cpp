#include "gfx/GfxSystem.h"

#include "gfx/ClipRegion.h"
#include "gfx/DibSurface.h"
#include "gfx/Display.h"
#include "gfx/Image.h"
#include "gfx/Palette.h"
#include "platform/Cpu.h"

namespace tamboro::gfx {
namespace {
GfxSystem* g_current = nullptr;
}

GfxSystem::GfxSystem(std::uint32_t flags) {
    g_current = this;
    Init(flags);
}

GfxSystem::~GfxSystem() {
    // Deleting an object unlinks it, so always take the first one. Images go
    // first: they hold references to palettes and regions.
    while (!m_images.empty())
        delete m_images.front();
    while (!m_palettes.empty())
        delete m_palettes.front();
    while (!m_clips.empty())
        delete m_clips.front();
    if (g_current == this) g_current = nullptr;
}

GfxResult GfxSystem::Init(std::uint32_t flags) {
    // The processor is asked once here: CPUID is slow under virtual machines.
    m_simd = (flags & kGfxNoSimd) == 0 && platform::HasSse2();
    m_avx2 = m_simd && platform::HasAvx2();
    return GfxResult::Ok;
}

std::unique_ptr<DibSurface> GfxSystem::NewSurface() {
    return std::make_unique<DibSurface>();
}

std::unique_ptr<Display> GfxSystem::NewDisplay() {
    return std::make_unique<Display>();
}

GfxSystem* GfxSystem::Current() {
    return g_current;
}

int SimdLevel() {
    const GfxSystem* sys = GfxSystem::Current();
    if (sys == nullptr || !sys->Simd() || platform::ForcePlainKernels()) return 0;
    return sys->Avx2() ? 2 : 1;
}

// ---------------------------------------------------------------------------

ClipRegion* ClipRegion::New() {
    return new ClipRegion();
}

ClipRegion::ClipRegion() {
    if (GfxSystem* sys = GfxSystem::Current()) {
        m_system = sys;
        m_node = sys->m_clips.insert(sys->m_clips.end(), this);
    }
    AddRef();
}

ClipRegion::~ClipRegion() {
    if (m_system != nullptr) m_system->m_clips.erase(m_node);
}

void ClipRegion::Release() {
    if (--m_refCount < 1) delete this;
}

GfxResult ClipRegion::GetBounds(ClipBounds& out) const {
    if (!m_hasRect) return GfxResult::NotSupported;
    out = m_bounds;
    return GfxResult::Ok;
}

GfxResult ClipRegion::SetRect(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height) {
    m_bounds = {x, y, x + width, y + height};
    m_hasRect = true;
    return GfxResult::Ok;
}

GfxResult ClipRegion::CopyFrom(const ClipRegion* other) {
    ClipBounds b;
    if (other == nullptr || other->GetBounds(b) != GfxResult::Ok) return GfxResult::BadArgument;
    return SetRect(b.left, b.top, b.right - b.left, b.bottom - b.top);
}

ClipRegion* ClipRegion::Clone() const {
    ClipRegion* r = New();
    r->CopyFrom(this);
    return r;
}

}  // namespace tamboro::gfx
