#include "gfx/ColorOctree.h"

#include <bit>

namespace tamboro::gfx {

ColorOctree::ColorOctree() {
    m_nodes.emplace_back();
}

bool ColorOctree::Insert(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint32_t index) {
    std::int32_t at = 0;
    bool created = false;
    for (int level = 0; level < 8; ++level) {
        const int slot = SlotOf(r, g, b, level);
        std::int32_t next = m_nodes[static_cast<std::size_t>(at)].child[slot];
        if (next < 0) {
            Node n;
            n.parent = at;
            n.slot = static_cast<std::uint8_t>(slot);
            n.level = static_cast<std::uint8_t>(level + 1);
            next = static_cast<std::int32_t>(m_nodes.size());
            m_nodes.push_back(n);  // may move the vector: index again below
            Node& parent = m_nodes[static_cast<std::size_t>(at)];
            parent.child[slot] = next;
            ++parent.childCount;
            created = true;
        }
        at = next;
    }
    if (!created) return false;
    Node& leaf = m_nodes[static_cast<std::size_t>(at)];
    leaf.leaf.colour = static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 | b;
    leaf.leaf.index = index;
    ++m_colours;
    return true;
}

std::optional<OctreeLeaf> ColorOctree::Find(std::uint8_t& r, std::uint8_t& g, std::uint8_t& b,
                                            bool exact) const {
    if (m_colours == 0) return std::nullopt;
    std::int32_t at = 0;
    int wanted = 0;
    int taken = 0;
    for (int level = 0; level < 8; ++level) {
        const Node& node = m_nodes[static_cast<std::size_t>(at)];
        const int own = SlotOf(r, g, b, level);
        int want = 0;
        if (exact) {
            want = own;
        } else {
            for (int c = 4; c >= 1; c >>= 1) {
                const bool w = (wanted & c) != 0;
                const bool t = (taken & c) != 0;
                bool bit;
                if (w == t) {
                    bit = (own & c) != 0;
                } else {
                    bit = w;  // W=0,T=1: went above, want 0; W=1,T=0: went below, want 1
                }
                if (bit) want |= c;
            }
        }
        int take = -1;
        if (node.child[want] >= 0) {
            take = want;
        } else if (!exact) {
            int best = 99;
            for (int s = 7; s >= 0; --s) {
                if (node.child[s] < 0) continue;
                const int d = std::popcount(static_cast<unsigned>(s ^ want));
                if (d < best) {
                    best = d;
                    take = s;
                }
            }
        }
        if (take < 0) return std::nullopt;
        wanted = want;
        taken = take;
        at = node.child[take];
    }
    const OctreeLeaf& leaf = m_nodes[static_cast<std::size_t>(at)].leaf;
    r = static_cast<std::uint8_t>(leaf.colour >> 16);
    g = static_cast<std::uint8_t>(leaf.colour >> 8);
    b = static_cast<std::uint8_t>(leaf.colour);
    return leaf;
}

}  // namespace tamboro::gfx
