#pragma once
// A clip rectangle attached to images. Reference counted: made with New or
// Clone (holding one reference), dropped with Release. Always on the heap.
//
// One form everywhere: GetBounds answers left, top, right, bottom with right
// and bottom exclusive, and both readers (the blitter and the line drawer)
// read that form.
#include <cstdint>
#include <list>

#include "gfx/GfxResult.h"

namespace tamboro::gfx {

class GfxSystem;

struct ClipBounds {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;   // exclusive
    std::int32_t bottom = 0;  // exclusive
};

class ClipRegion {
  public:
    // A new empty region holding one reference; registered while a
    // GfxSystem exists.
    static ClipRegion* New();

    // NotSupported (1) while no rectangle was ever set; otherwise writes the
    // rectangle and answers Ok.
    virtual GfxResult GetBounds(ClipBounds& out) const;
    // Sets the rectangle (x, y, x + width, y + height). Answers Ok.
    virtual GfxResult SetRect(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height);
    virtual std::uint32_t GetUserWord() const { return m_userWord; }
    virtual void SetUserWord(std::uint32_t value) { m_userWord = value; }
    // Takes the other region's rectangle; BadArgument (2) when it is missing
    // or has none.
    virtual GfxResult CopyFrom(const ClipRegion* other);
    // A new region with this one's rectangle (holding one reference).
    virtual ClipRegion* Clone() const;

    void AddRef() { ++m_refCount; }
    // Drops one reference; deletes the region when none is left.
    void Release();
    std::int32_t RefCount() const { return m_refCount; }

  protected:
    ClipRegion();
    virtual ~ClipRegion();

  private:
    friend class GfxSystem;
    ClipRegion(const ClipRegion&) = delete;
    ClipRegion& operator=(const ClipRegion&) = delete;

    GfxSystem* m_system = nullptr;
    std::list<ClipRegion*>::iterator m_node;
    ClipBounds m_bounds;
    bool m_hasRect = false;
    std::uint32_t m_userWord = 0;
    std::int32_t m_refCount = 0;
};

}  // namespace tamboro::gfx
