#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "gfx/ColorOctree.h"
#include "gfx/DibSurface.h"
#include "gfx/PackedImage.h"
#include "gfx/Palette.h"
#include "gfx/Ref.h"

namespace tamboro::gfx {
namespace {

struct Colour {
    std::uint8_t r, g, b;
};

// The octree's nearest rule walked over a plain list of colours instead of a
// tree: at each level the existing children are the distinct slots of the
// colours that share the path taken so far.
std::optional<std::size_t> BruteNearest(const std::vector<Colour>& colours, Colour q) {
    std::vector<std::size_t> alive;
    std::set<std::uint32_t> seen;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const auto& c = colours[i];
        if (seen.insert(c.r << 16 | c.g << 8 | c.b).second) alive.push_back(i);  // first index wins
    }
    if (alive.empty()) return std::nullopt;
    int wanted = 0, taken = 0;
    for (int level = 0; level < 8; ++level) {
        const int own = ColorOctree::SlotOf(q.r, q.g, q.b, level);
        int want = 0;
        for (int c = 4; c >= 1; c >>= 1) {
            const bool w = wanted & c, t = taken & c;
            if (w == t ? (own & c) != 0 : w) want |= c;
        }
        bool present[8] = {};
        for (auto i : alive)
            present[ColorOctree::SlotOf(colours[i].r, colours[i].g, colours[i].b, level)] = true;
        int take = -1;
        if (present[want]) {
            take = want;
        } else {
            int best = 99;
            for (int s = 7; s >= 0; --s) {
                if (!present[s]) continue;
                const int d = __builtin_popcount(static_cast<unsigned>(s ^ want));
                if (d < best) {
                    best = d;
                    take = s;
                }
            }
        }
        std::vector<std::size_t> next;
        for (auto i : alive) {
            if (ColorOctree::SlotOf(colours[i].r, colours[i].g, colours[i].b, level) == take)
                next.push_back(i);
        }
        alive.swap(next);
        wanted = want;
        taken = take;
    }
    return alive.front();
}

TEST(ColorOctree, NearestFindAgreesWithABruteForceWalkOfTheSameRule) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<Colour> colours(1 + rng() % 256);
        for (auto& c : colours) {
            c = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                 static_cast<std::uint8_t>(rng())};
        }
        if (trial % 3 == 0) colours[colours.size() / 2] = colours[0];  // a duplicate
        ColorOctree tree;
        for (std::size_t i = 0; i < colours.size(); ++i)
            tree.Insert(colours[i].r, colours[i].g, colours[i].b, static_cast<std::uint32_t>(i));
        for (int q = 0; q < 300; ++q) {
            Colour query{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                         static_cast<std::uint8_t>(rng())};
            auto expected = BruteNearest(colours, query);
            std::uint8_t r = query.r, g = query.g, b = query.b;
            auto leaf = tree.Find(r, g, b, false);
            ASSERT_TRUE(leaf && expected);
            EXPECT_EQ(leaf->index, *expected);
            const Colour& e = colours[*expected];
            EXPECT_EQ(r, e.r);
            EXPECT_EQ(g, e.g);
            EXPECT_EQ(b, e.b);
        }
    }
}

TEST(ColorOctree, ExactFindAndFirstIndexWins) {
    ColorOctree tree;
    std::uint8_t r = 1, g = 2, b = 3;
    EXPECT_FALSE(tree.Find(r, g, b, false));  // empty tree
    EXPECT_TRUE(tree.Insert(10, 20, 30, 5));
    EXPECT_FALSE(tree.Insert(10, 20, 30, 9));
    EXPECT_TRUE(tree.Insert(200, 20, 30, 6));
    EXPECT_EQ(tree.ColourCount(), 2u);
    r = 10, g = 20, b = 30;
    auto leaf = tree.Find(r, g, b, true);
    ASSERT_TRUE(leaf);
    EXPECT_EQ(leaf->index, 5u);
    EXPECT_EQ(leaf->colour, 0x0A141Eu);
    r = 11;
    EXPECT_FALSE(tree.Find(r, g, b, true));
    // Nearest: at level 0 red's top bit 1 wanted; present, so the red leaf.
    r = 255, g = 0, b = 0;
    leaf = tree.Find(r, g, b, false);
    ASSERT_TRUE(leaf);
    EXPECT_EQ(leaf->index, 6u);
    EXPECT_EQ(r, 200);
}

TEST(Palette, CreateCopyGetSetAndTheirCodes) {
    auto p = Ref<Palette>::Adopt(Palette::New());
    PaletteEntry e[4];
    EXPECT_EQ(p->GetEntries(e, 0, 1), GfxResult::BadArgument);
    EXPECT_EQ(p->GetEntries(nullptr, 0, 1), GfxResult::NotSupported);
    EXPECT_EQ(p->SetEntries(e, 0, 1), GfxResult::BadArgument);
    ASSERT_EQ(p->Create(4), GfxResult::Ok);
    EXPECT_EQ(p->Create(4), GfxResult::Empty);
    EXPECT_EQ(p->Serial(), 0u);
    const PaletteEntry set[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    ASSERT_EQ(p->SetEntries(set, 2, 2), GfxResult::Ok);
    EXPECT_EQ(p->Serial(), 1u);
    EXPECT_EQ(p->SetEntries(set, 3, 2), GfxResult::BadArgument);  // past the end
    EXPECT_EQ(p->Serial(), 1u);
    ASSERT_EQ(p->GetEntries(e, 0, 4), GfxResult::Ok);
    EXPECT_EQ(e[0], PaletteEntry{});
    EXPECT_EQ(e[3], (PaletteEntry{4, 5, 6, 0}));
    EXPECT_EQ(p->GetEntries(e, 1, 4), GfxResult::BadArgument);
    auto q = Ref<Palette>::Adopt(Palette::New());
    EXPECT_EQ(q->CopyFrom(nullptr), GfxResult::NotSupported);
    auto emptyOne = Ref<Palette>::Adopt(Palette::New());
    EXPECT_EQ(q->CopyFrom(emptyOne.get()), GfxResult::BadArgument);
    ASSERT_EQ(q->CopyFrom(p.get()), GfxResult::Ok);
    EXPECT_EQ(q->CopyFrom(p.get()), GfxResult::Empty);
    ASSERT_EQ(q->GetEntries(e, 0, 4), GfxResult::Ok);
    EXPECT_EQ(e[2], (PaletteEntry{1, 2, 3, 0}));
    auto c = Ref<Palette>::Adopt(p->Clone());
    EXPECT_EQ(c->Count(), 4u);
    EXPECT_EQ(c->RefCount(), 1);
}

TEST(Palette, InverseTableMapsEveryEntryToItselfAndDuplicatesToTheFirstIndex) {
    auto p = Ref<Palette>::Adopt(Palette::New());
    ASSERT_EQ(p->Create(256), GfxResult::Ok);
    std::vector<PaletteEntry> entries(256);
    for (int i = 0; i < 256; ++i) {
        entries[i] = {static_cast<std::uint8_t>((i & 7) * 32),
                      static_cast<std::uint8_t>(((i >> 3) & 7) * 32),
                      static_cast<std::uint8_t>((i >> 6) * 64), 0};
    }
    entries[200] = entries[13];  // duplicate of 13
    p->SetEntries(entries.data(), 0, 256);
    const std::uint8_t* table = p->GetInverseTable();
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < 256; ++i) {
        const auto& e = entries[i];
        const int at = (e.red >> 3) << 10 | (e.green >> 3) << 5 | (e.blue >> 3);
        EXPECT_EQ(table[at], i == 200 ? 13 : i) << i;
    }
    // A change drops the table; the next one follows the new colours.
    PaletteEntry white{248, 248, 248, 0};
    p->SetEntries(&white, 0, 1);
    EXPECT_EQ(p->GetInverseTable()[32767], 0);
}

TEST(DibSurface, CreateRefusesFormatsThatCannotBeMadeAndStaysEmpty) {
    DibSurface s;
    for (auto f : {PixelFormat::Other8, PixelFormat::Bgr555, PixelFormat::Bgr565,
                   PixelFormat::Rgb24, PixelFormat::Rgbx32, PixelFormat::None}) {
        EXPECT_EQ(s.Create(4, 4, f), GfxResult::BadArgument);
        EXPECT_EQ(s.GetFormat(), PixelFormat::None);
    }
    EXPECT_EQ(s.Create(0, 4, PixelFormat::Indexed8), GfxResult::BadArgument);
    EXPECT_EQ(s.Lock(nullptr, nullptr), GfxResult::Empty);
    EXPECT_EQ(s.GetDC(), nullptr);
    EXPECT_EQ(s.Destroy(), GfxResult::Ok);  // on an empty surface only resets
    ASSERT_EQ(s.Create(15, 15, PixelFormat::Indexed8), GfxResult::Ok);
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    ASSERT_EQ(s.Lock(&bits, &pitch), GfxResult::Ok);
    EXPECT_EQ(pitch, 16u);
    EXPECT_EQ(s.GetOrientation(), 0u);
    EXPECT_EQ(s.GetKind(), ImageKind::Dib);
}

TEST(DibSurface, SetPaletteChecksCountsAndKeepsTheOldPaletteOnRefusal) {
    DibSurface s;
    auto p256 = Ref<Palette>::Adopt(Palette::New());
    p256->Create(256);
    EXPECT_EQ(s.SetPalette(p256.get()), GfxResult::Empty);
    ASSERT_EQ(s.Create(8, 8, PixelFormat::Indexed8), GfxResult::Ok);
    ASSERT_EQ(s.SetPalette(p256.get()), GfxResult::Ok);
    auto p16 = Ref<Palette>::Adopt(Palette::New());
    p16->Create(16);
    EXPECT_EQ(s.SetPalette(p16.get()), GfxResult::PaletteSizeMismatch);
    EXPECT_EQ(s.GetPalette(), p256.get());
    auto none = Ref<Palette>::Adopt(Palette::New());
    EXPECT_EQ(s.SetPalette(none.get()), GfxResult::PaletteEmpty);
    DibSurface wide;
    ASSERT_EQ(wide.Create(8, 8, PixelFormat::Rgb565), GfxResult::Ok);
    EXPECT_EQ(wide.SetPalette(p256.get()), GfxResult::PaletteSizeMismatch);
}

TEST(DibSurface, SharedPaletteChangeReachesBothColourTablesAtTheNextLockOrGetDC) {
    auto pal = Ref<Palette>::Adopt(Palette::New());
    pal->Create(256);
    DibSurface a, b;
    ASSERT_EQ(a.Create(4, 4, PixelFormat::Indexed8), GfxResult::Ok);
    ASSERT_EQ(b.Create(4, 4, PixelFormat::Indexed8), GfxResult::Ok);
    a.SetPalette(pal.get());
    b.SetPalette(pal.get());
    const PaletteEntry red{255, 0, 0, 0};
    pal->SetEntries(&red, 7, 1);
    EXPECT_EQ(a.ColourTable()[7].red, 0);  // not before
    EXPECT_EQ(b.ColourTable()[7].red, 0);
    a.Lock(nullptr, nullptr);
    EXPECT_EQ(a.ColourTable()[7].red, 255);
    EXPECT_EQ(b.ColourTable()[7].red, 0);
    DrawContext* dc = b.GetDC();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->colours[7].red, 255);
    EXPECT_EQ(dc->colourCount, 256);
    EXPECT_EQ(dc->pitch, 4u);
    EXPECT_EQ(dc->format, PixelFormat::Indexed8);
}

TEST(DibSurface, CopyFromAcrossOrientationsKeepsThePictureUpright) {
    // A bottom-up packed picture whose picture row y holds y + 1.
    PackedImage packed;
    ASSERT_EQ(packed.Create(5, 3, PixelFormat::Indexed8), GfxResult::Ok);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            packed.SetPixel(x, y, static_cast<std::uint32_t>(10 * (y + 1) + x));
    }
    DibSurface top;
    ASSERT_EQ(top.CopyFrom(&packed), GfxResult::Ok);
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    ASSERT_EQ(top.Lock(&bits, &pitch), GfxResult::Ok);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bits[y * pitch + x], 10 * (y + 1) + x);  // top-down storage
    }
    ASSERT_NE(top.GetPalette(), nullptr);
    EXPECT_NE(top.GetPalette(), packed.GetPalette());  // a copy, not a share
    // And back: a top-down surface into a packed image flips again.
    PackedImage back;
    ASSERT_EQ(back.CopyFrom(&top), GfxResult::Ok);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.GetPixel(x, y), 10u * (y + 1) + x);
    }
    // Same orientation: rows are copied straight.
    DibSurface twin;
    ASSERT_EQ(twin.CopyFrom(&top), GfxResult::Ok);
    EXPECT_EQ(twin.GetPixel(4, 2), 34u);
}

}  // namespace
}  // namespace tamboro::gfx
