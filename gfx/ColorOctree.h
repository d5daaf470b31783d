#pragma once
// An eight-level tree over the bits of red, green and blue (most significant
// bit first) that finds a palette index for a colour: exactly, or the nearest
// one by the tree's own descent rule (below). Used to build the inverse table
// of a palette and by the general conversion to 8 bits.
//
// Nearest rule: from the previous level the slot that was wanted (W) and the
// slot that was taken (T) are kept (both start at 0). Per component (red =
// slot bit 4, green = 2, blue = 1) the wanted bit is the component's own bit
// at this level when W and T agree on that component; 0 when W has 0 and T 1
// (the path went above the colour); 1 when W has 1 and T 0 (it went below).
// When the wanted child is missing, the existing child whose slot differs in
// the fewest bits is taken, scanning slots 7 down to 0 and keeping the first
// strict minimum (ties go to the higher slot).
#include <cstdint>
#include <optional>
#include <vector>

namespace tamboro::gfx {

struct OctreeLeaf {
    std::uint32_t colour = 0;  // 0xRRGGBB
    std::uint32_t index = 0;   // palette index
};

class ColorOctree {
  public:
    ColorOctree();

    // Adds a colour. Returns false and changes nothing when the colour is
    // already present (the first index inserted for a colour wins).
    bool Insert(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t index);

    // Finds the leaf for (r, g, b), exactly or by the nearest rule, and
    // writes the leaf's colour back into r, g, b. Nothing when the tree is
    // empty, or (exact) when the colour is not present.
    std::optional<OctreeLeaf> Find(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b,
                                   bool exact) const;

    std::uint32_t ColourCount() const { return m_colours; }

    // Slot of a colour at a level 0..7: 4 for red's bit, 2 green, 1 blue.
    static int SlotOf(std::uint8_t r, std::uint8_t g, std::uint8_t b, int level) {
        const unsigned m = 0x80u >> level;
        return ((r & m) ? 4 : 0) | ((g & m) ? 2 : 0) | ((b & m) ? 1 : 0);
    }

  private:
    struct Node {
        std::int32_t child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        std::int32_t parent = -1;
        std::uint8_t slot = 0;   // index in the parent
        std::uint8_t level = 0;  // 0 for the root, 1..8 below
        std::uint8_t childCount = 0;
        OctreeLeaf leaf;  // meaningful at level 8
    };
    std::vector<Node> m_nodes;  // m_nodes[0] is the root
    std::uint32_t m_colours = 0;
};

}  // namespace tamboro::gfx
