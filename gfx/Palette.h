#pragma once
// The colour table object attached to 1-, 2-, 4- and 8-bit images.
// Reference counted (New and Clone hold one reference; Release drops it) and
// registered with the GfxSystem while one exists. Images notice colour
// changes through `Serial`, which every SetEntries increments.
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "gfx/ColorOctree.h"
#include "gfx/GfxResult.h"

namespace tamboro::gfx {

class GfxSystem;

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
    bool operator==(const PaletteEntry&) const = default;
};
static_assert(sizeof(PaletteEntry) == 4);

class Palette {
  public:
    // A new palette without entries, holding one reference.
    static Palette* New();

    // All fields empty (reference count 0).
    virtual void Reset();
    // Frees entries, octree and inverse table, then Reset (the reference
    // count is kept: only the destructor runs Reset's full clearing).
    virtual void Destroy();
    // Empty (3) when the palette already has entries; otherwise n black
    // entries. BadArgument (2) for n = 0 or above 256.
    virtual GfxResult Create(std::uint32_t n);
    // NotSupported (1) for no palette, BadArgument (2) when it has no entries,
    // Empty (3) when this one already has entries; otherwise a copy.
    virtual GfxResult CopyFrom(const Palette* other);
    // A new palette made by CopyFrom of this one, holding one reference.
    virtual Palette* Clone() const;
    // Copies entries start..start+n-1 into dest. NotSupported (1) for no
    // dest, BadArgument (2) without entries or for a range past the count.
    virtual GfxResult GetEntries(PaletteEntry* dest, std::uint32_t start, std::uint32_t n) const;
    // SetEntries with the other palette's entries from sourceStart.
    virtual GfxResult SetEntriesFrom(const Palette* other, std::uint32_t start, std::uint32_t n,
                                     std::uint32_t sourceStart);
    // Replaces entries start..start+n-1, drops octree and inverse table and
    // increments the serial. NotSupported (1) for no source, BadArgument (2)
    // without entries or for a range past the count.
    virtual GfxResult SetEntries(const PaletteEntry* source, std::uint32_t start, std::uint32_t n);

    void AddRef() { ++m_refCount; }
    // Drops one reference; deletes the palette when none is left.
    void Release();

    // The 32768-byte table from a 15-bit colour (red5 << 10 | green5 << 5 |
    // blue5) to the index of the nearest entry by the octree rule; built on
    // first use after every change. Null when the palette has no entries.
    const std::uint8_t* GetInverseTable();

    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_entries.size()); }
    std::uint32_t Serial() const { return m_serial; }
    std::int32_t RefCount() const { return m_refCount; }
    const PaletteEntry* Entries() const { return m_entries.data(); }

  protected:
    Palette();
    virtual ~Palette();

  private:
    friend class GfxSystem;
    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    std::vector<PaletteEntry> m_entries;
    std::int32_t m_refCount = 0;
    std::uint32_t m_serial = 0;
    GfxSystem* m_system = nullptr;
    std::list<Palette*>::iterator m_node;
    std::unique_ptr<std::uint8_t[]> m_inverseTable;
    std::unique_ptr<ColorOctree> m_octree;
};

}  // namespace tamboro::gfx
