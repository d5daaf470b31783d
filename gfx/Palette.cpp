#include "gfx/Palette.h"

#include <algorithm>
#include <cstring>

#include "gfx/GfxSystem.h"

namespace tamboro::gfx {

Palette* Palette::New() {
    return new Palette();
}

Palette::Palette() {
    if (GfxSystem* sys = GfxSystem::Current()) {
        m_system = sys;
        m_node = sys->m_palettes.insert(sys->m_palettes.end(), this);
    }
    AddRef();
}

Palette::~Palette() {
    Destroy();
    if (m_system != nullptr) m_system->m_palettes.erase(m_node);
}

void Palette::Release() {
    if (--m_refCount < 1) delete this;
}

void Palette::Reset() {
    m_entries.clear();
    m_serial = 0;
    m_inverseTable.reset();
    m_octree.reset();
}

void Palette::Destroy() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_inverseTable.reset();
    m_octree.reset();
    Reset();
}

GfxResult Palette::Create(std::uint32_t n) {
    if (!m_entries.empty()) return GfxResult::Empty;
    if (n == 0 || n > 256) return GfxResult::BadArgument;
    m_entries.assign(n, PaletteEntry{});
    return GfxResult::Ok;
}

GfxResult Palette::CopyFrom(const Palette* other) {
    if (other == nullptr) return GfxResult::NotSupported;
    if (other->m_entries.empty()) return GfxResult::BadArgument;
    if (!m_entries.empty()) return GfxResult::Empty;
    Create(other->Count());
    return SetEntriesFrom(other, 0, other->Count(), 0);
}

Palette* Palette::Clone() const {
    Palette* p = New();
    p->CopyFrom(this);
    return p;
}

GfxResult Palette::GetEntries(PaletteEntry* dest, std::uint32_t start, std::uint32_t n) const {
    if (dest == nullptr) return GfxResult::NotSupported;
    if (m_entries.empty()) return GfxResult::BadArgument;
    if (start > Count() || n > Count() - start) return GfxResult::BadArgument;
    std::copy_n(m_entries.data() + start, n, dest);
    return GfxResult::Ok;
}

GfxResult Palette::SetEntriesFrom(const Palette* other, std::uint32_t start, std::uint32_t n,
                                  std::uint32_t sourceStart) {
    if (other == nullptr) return GfxResult::NotSupported;
    if (sourceStart > other->Count() || n > other->Count() - sourceStart) {
        return GfxResult::BadArgument;
    }
    return SetEntries(other->m_entries.data() + sourceStart, start, n);
}

GfxResult Palette::SetEntries(const PaletteEntry* source, std::uint32_t start, std::uint32_t n) {
    if (source == nullptr) return GfxResult::NotSupported;
    if (m_entries.empty()) return GfxResult::BadArgument;
    if (start > Count() || n > Count() - start) return GfxResult::BadArgument;
    m_octree.reset();
    m_inverseTable.reset();
    std::memmove(m_entries.data() + start, source, n * sizeof(PaletteEntry));
    ++m_serial;
    return GfxResult::Ok;
}

const std::uint8_t* Palette::GetInverseTable() {
    if (m_inverseTable) return m_inverseTable.get();
    if (m_entries.empty()) return nullptr;
    auto table = std::make_unique<std::uint8_t[]>(32768);
    m_octree = std::make_unique<ColorOctree>();
    for (std::uint32_t i = 0; i < Count(); ++i) {
        const PaletteEntry& e = m_entries[i];
        m_octree->Insert(e.red, e.green, e.blue, i);
    }
    for (int r5 = 0; r5 < 32; ++r5) {
        for (int g5 = 0; g5 < 32; ++g5) {
            for (int b5 = 0; b5 < 32; ++b5) {
                auto r = static_cast<std::uint8_t>(r5 * 8);
                auto g = static_cast<std::uint8_t>(g5 * 8);
                auto b = static_cast<std::uint8_t>(b5 * 8);
                if (auto leaf = m_octree->Find(r, g, b, false)) {
                    table[static_cast<std::size_t>(r5 * 1024 + g5 * 32 + b5)] =
                        static_cast<std::uint8_t>(leaf->index);
                }
            }
        }
    }
    m_inverseTable = std::move(table);
    return m_inverseTable.get();
}

}  // namespace tamboro::gfx
