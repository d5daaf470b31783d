#include <gtest/gtest.h>

#include <cstring>

#include "base/ByteOrder.h"
#include "base/MemoBlock.h"
#include "gfx/Codecs.h"
#include "gfx/DibSurface.h"
#include "gfx/PackedImage.h"
#include "gfx/Palette.h"
#include "gfx/Ref.h"
#include "platform/Resources.h"
#include "tests/gfx/GfxTestUtil.h"
#include "tests/support/TestSupport.h"

namespace tamboro::gfx {
namespace {

using test::BitmapSpec;
using test::MakeBitmap;

std::uint32_t Compression(const PackedImage& img) {
    return base::LoadLe<32>(img.GetHeader() + 16);
}

// The stored pixel rows of a plain packed image.
Bytes Rows(PackedImage& img) {
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    EXPECT_EQ(img.Lock(&bits, &pitch), GfxResult::Ok);
    Bytes rows(bits, bits + static_cast<std::size_t>(pitch) * img.GetHeight());
    img.Unlock();
    return rows;
}

GfxResult LoadBytes(PackedImage& img, Bytes& bytes, std::uint32_t extraFlags = 0) {
    base::BorrowedStorage mem(bytes.data(), bytes.size());
    ImageSource src;
    src.memory = &mem;
    return img.Load(src, load::kFromMemory | load::kCopy | extraFlags);
}

TEST(BitmapHeader, BuilderSizesAndRefusals) {
    std::uint8_t h[kHeaderBufferSize];
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Indexed1, h), 48u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Indexed2, h), 56u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Indexed4, h), 104u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Indexed8, h), 1064u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Rgb555, h), 52u);
    EXPECT_EQ(base::LoadLe<32>(h + 44), 0x03E0u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Rgb565, h), 52u);
    EXPECT_EQ(base::LoadLe<32>(h + 40), 0xF800u);
    EXPECT_EQ(base::LoadLe<32>(h + 16), 3u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Bgr24, h), 40u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Bgrx32, h), 40u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Bgr565, h), 0u);
    EXPECT_EQ(BuildHeader(3, 3, PixelFormat::Other8, h), 0u);
}

TEST(BitmapHeader, PixelFormatOfHeaders) {
    EXPECT_EQ(FormatOf(16, 0, 0x07E0), PixelFormat::Rgb555);
    EXPECT_EQ(FormatOf(16, kCodePkc1, 0x07E0), PixelFormat::Rgb555);
    EXPECT_EQ(FormatOf(16, 3, 0x03E0), PixelFormat::Rgb555);
    EXPECT_EQ(FormatOf(16, 3, 0x07E0), PixelFormat::Rgb565);
    EXPECT_EQ(FormatOf(16, kCodePkc2, 0x07E0), PixelFormat::Rgb565);
    EXPECT_EQ(FormatOf(24, 0, 0), PixelFormat::Bgr24);
    EXPECT_EQ(FormatOf(32, 3, 0), PixelFormat::Bgrx32);
    EXPECT_EQ(FormatOf(12, 0, 0), PixelFormat::None);
}

TEST(PackedImage, FileHeaderIsSkippedAndPaletteComesFromTheColourTable) {
    BitmapSpec s{.width = 3, .height = 2, .bits = 8, .fileHeader = true};
    Bytes pixels = {1, 2, 3, 0, 4, 5, 6, 0};  // bottom row first
    Bytes file = MakeBitmap(s, pixels);
    PackedImage img;
    ASSERT_EQ(LoadBytes(img, file), GfxResult::Ok);
    EXPECT_EQ(img.GetWidth(), 3);
    EXPECT_EQ(img.GetHeight(), 2);
    EXPECT_EQ(img.GetFormat(), PixelFormat::Indexed8);
    EXPECT_EQ(img.GetOrientation(), 1u);
    EXPECT_EQ(img.GetPixel(0, 0), 4u);  // top picture row is the last stored row
    EXPECT_EQ(img.GetPixel(2, 1), 3u);
    ASSERT_NE(img.GetPalette(), nullptr);
    EXPECT_EQ(img.GetPalette()->Count(), 256u);
    EXPECT_EQ(img.GetPalette()->Entries()[77].green, 77);
}

TEST(PackedImage, ShortColourTableFillsThePaletteAndApplyPaletteStaysInsideIt) {
    BitmapSpec s{.width = 4, .height = 1, .bits = 8, .coloursUsed = 2};
    Bytes bytes = MakeBitmap(s, {9, 9, 9, 9});
    PackedImage img;
    ASSERT_EQ(LoadBytes(img, bytes), GfxResult::Ok);
    ASSERT_EQ(img.GetPalette()->Count(), 256u);
    EXPECT_EQ(img.GetPalette()->Entries()[1].red, 1);
    EXPECT_EQ(img.GetPalette()->Entries()[200].red, 0);
    // A full 256-entry palette must not spill over the pixels.
    auto pal = Ref<Palette>::Adopt(Palette::New());
    pal->Create(256);
    std::vector<PaletteEntry> white(256, PaletteEntry{255, 255, 255, 0});
    pal->SetEntries(white.data(), 0, 256);
    ASSERT_EQ(img.SetPalette(pal.get()), GfxResult::Ok);
    EXPECT_EQ(img.GetHeader()[40], 255);
    EXPECT_EQ(img.GetPixel(0, 0), 9u);
    EXPECT_EQ(img.GetPixel(3, 0), 9u);
}

TEST(PackedImage, DamagedHeadersAreRefused) {
    PackedImage img;
    auto refuse = [&](Bytes b) {
        EXPECT_EQ(LoadBytes(img, b), GfxResult::BadArgument);
        EXPECT_EQ(img.GetFormat(), PixelFormat::None);
    };
    Bytes good = MakeBitmap({.width = 5, .height = 4, .bits = 8});
    Bytes b = good;
    base::StoreLe<32>(b.data(), 108);  // not a 40-byte header
    refuse(b);
    b = good;
    base::StoreLe<16>(b.data() + 14, 7);  // bit count
    refuse(b);
    b = good;
    base::StoreLe<32>(b.data() + 32, 257);  // colours used
    refuse(b);
    b = good;
    base::StoreLe<32>(b.data() + 8, static_cast<std::uint32_t>(-4));  // top-down
    refuse(b);
    b = good;
    base::StoreLe<32>(b.data() + 4, 70000);
    refuse(b);
    b = good;
    base::StoreLe<32>(b.data() + 8, 5);  // one row more than the block holds
    refuse(b);
    b = MakeBitmap({.width = 5, .height = 4, .bits = 8, .compression = kCodeArle});
    base::StoreLe<32>(b.data() + 20, 0x7FFFFFF0);  // image size past the end
    refuse(b);
    refuse({'B', 'M'});
    refuse({});
}

TEST(PackedImage, EveryTruncationOfAValidBitmapIsRefusedOrLoadsInsideItsBytes) {
    Bytes good = MakeBitmap({.width = 7, .height = 3, .bits = 8, .fileHeader = true},
                            test::RandomRows(7, 3, 8, 1));
    for (std::size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        PackedImage img;
        EXPECT_EQ(LoadBytes(img, cut), GfxResult::BadArgument) << n;
    }
}

TEST(PackedImage, LoadsFromFileResourceAndMemoryAndRefusesUnknownModes) {
    const Bytes rows = test::RandomRows(6, 5, 8, 3);
    Bytes file = MakeBitmap({.width = 6, .height = 5, .bits = 8, .fileHeader = true}, rows);
    tamboro::test::TempDir dir;
    ASSERT_TRUE(tamboro::test::WriteAll(dir.File("a.bmp"), file));
    PackedImage fromFile;
    ImageSource src;
    const std::string path = dir.File("a.bmp");
    src.name = path;
    ASSERT_EQ(fromFile.Load(src, load::kFromFile), GfxResult::Ok);
    EXPECT_EQ(Rows(fromFile), rows);
    const std::string missing = dir.File("missing.bmp");
    src.name = missing;
    EXPECT_EQ(fromFile.Load(src, load::kFromFile), GfxResult::BadArgument);

    static Bytes resourceBytes;
    resourceBytes = file;
    static const platform::ResourceEntry entries[] = {
        {"TESTSKIN", "BITMAP", nullptr, 0},
    };
    static platform::ResourceEntry table[1];
    table[0] = entries[0];
    table[0].data = resourceBytes.data();
    table[0].size = resourceBytes.size();
    platform::RegisterResourceTable([](std::size_t* n) -> const platform::ResourceEntry* {
        *n = 1;
        return table;
    });
    DibSurface skin;
    ImageSource res;
    res.name = "TESTSKIN";
    ASSERT_EQ(skin.Load(res, load::kFromResource), GfxResult::Ok);
    EXPECT_EQ(skin.GetWidth(), 6);
    EXPECT_EQ(skin.GetPixel(2, 0), rows[4 * 8 + 2]);  // top row = last stored row
    res.name = "NOSUCHSKIN";
    EXPECT_EQ(skin.Load(res, load::kFromResource), GfxResult::BadArgument);
    EXPECT_EQ(skin.Load(res, 7), GfxResult::BadArgument);

    // Memory without copy: the caller's bytes are used in place, and loading
    // writes nothing into them.
    const Bytes before = file;
    base::BorrowedStorage mem(file.data(), file.size());
    ImageSource m;
    m.memory = &mem;
    PackedImage inPlace;
    ASSERT_EQ(inPlace.Load(m, load::kFromMemory), GfxResult::Ok);
    std::uint8_t* bits = nullptr;
    ASSERT_EQ(inPlace.Lock(&bits, nullptr), GfxResult::Ok);
    EXPECT_GE(bits, file.data());
    EXPECT_LT(bits, file.data() + file.size());
    inPlace.Unlock();
    EXPECT_EQ(file, before);
}

TEST(PackedImage, Rle8BitmapsLoadAsPlainPictures) {
    // 4×3: row 0 = run of 4 × 7; row 1 = absolute 1,2,3 then one 9; row 2 =
    // delta to x=2 then run 2 × 5; end of bitmap.
    Bytes codes = {4, 7, 0, 0, 0, 3, 1, 2, 3, 0, 1, 9, 0, 0, 0, 2, 2, 0, 2, 5, 0, 1};
    BitmapSpec s{.width = 4, .height = 3, .bits = 8, .compression = 1, .fileHeader = true};
    Bytes file = MakeBitmap(s);
    file.resize(14 + 40 + 1024);
    file.insert(file.end(), codes.begin(), codes.end());
    base::StoreLe<32>(file.data() + 14 + 20, static_cast<std::uint32_t>(codes.size()));
    PackedImage img;
    ASSERT_EQ(LoadBytes(img, file), GfxResult::Ok);
    EXPECT_FALSE(img.IsCompressed());
    EXPECT_EQ(Compression(img), 0u);
    const Bytes expected = {7, 7, 7, 7, 1, 2, 3, 9, 0, 0, 5, 5};
    Bytes rows = Rows(img);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(rows[y * 4 + x], expected[y * 4 + x]) << x << "," << y;
    }
    // An absolute run longer than the data is damage.
    Bytes bad = file;
    bad[14 + 40 + 1024 + 5] = 200;
    PackedImage img2;
    EXPECT_EQ(LoadBytes(img2, bad), GfxResult::BadArgument);
}

TEST(Rle8, EncodedPicturesDecodeToTheSameRowsAndEndEveryRow) {
    // Widths around the escape lengths (1, 2) and the run caps (255), random
    // and skin-like rows.
    for (int width : {1, 2, 3, 4, 5, 7, 254, 255, 256, 300, 513}) {
        for (int kind = 0; kind < 3; ++kind) {
            const int height = 1 + width % 5;
            Bytes rows =
                kind == 0   ? test::RandomRows(width, height, 8, static_cast<std::uint32_t>(width))
                : kind == 1 ? test::SkinRows(width, height, static_cast<std::uint32_t>(width))
                            : Bytes(RowBytesForBits(8, static_cast<std::uint32_t>(width)) *
                                        static_cast<std::size_t>(height),
                                    0);
            // Padding bytes are not pixels; keep them zero so whole rows compare.
            const std::uint32_t rb = RowBytesForBits(8, static_cast<std::uint32_t>(width));
            for (int y = 0; y < height; ++y)
                for (std::uint32_t x = static_cast<std::uint32_t>(width); x < rb; ++x)
                    rows[y * rb + x] = 0;
            const Bytes plain = MakeBitmap({.width = width, .height = height, .bits = 8}, rows);
            auto rle = EncodeRle8(plain);
            ASSERT_TRUE(rle) << width;
            EXPECT_EQ(base::LoadLe<32>(rle->data() + 16), kCompressionRle8);
            const std::size_t codes = rle->size() - (40 + 1024);
            EXPECT_EQ(base::LoadLe<32>(rle->data() + 20), codes);
            // The last code is the end of the picture.
            EXPECT_EQ((*rle)[rle->size() - 2], 0);
            EXPECT_EQ((*rle)[rle->size() - 1], 1);
            auto back = DecodeRle8(*rle);
            ASSERT_TRUE(back) << width;
            EXPECT_EQ(Bytes(back->begin() + 40 + 1024, back->end()), rows)
                << "width " << width << " kind " << kind;
        }
    }
    // Flat rows shrink to a few codes per row; other formats are refused.
    const Bytes flat = MakeBitmap({.width = 640, .height = 4, .bits = 8}, Bytes(640 * 4, 9));
    EXPECT_LT(EncodeRle8(flat)->size(), std::size_t{40 + 1024 + 4 * 12});
    EXPECT_FALSE(EncodeRle8(MakeBitmap({.width = 4, .height = 4, .bits = 24})));
    EXPECT_FALSE(EncodeRle8(MakeBitmap({.width = 4, .height = 4, .bits = 8, .compression = 1})));
}

TEST(PackedImage, TinyRunLengthDataCannotAskForGigabytes) {
    // 65535 × 65534 pixels from a few bytes: refused, never allocated.
    Bytes rle = MakeBitmap({.width = 1, .height = 1, .bits = 8, .compression = 1});
    base::StoreLe<32>(rle.data() + 4, 65535);
    base::StoreLe<32>(rle.data() + 8, 65534);
    rle.insert(rle.end(), {4, 7, 0, 1});
    base::StoreLe<32>(rle.data() + 20, 4);
    PackedImage img;
    EXPECT_EQ(LoadBytes(img, rle), GfxResult::BadArgument);
    // ARLE rows that all share one run packet.
    const int h = 5000;  // 5000 rows × 16000 pixels: above the decoder's limit
    Bytes arle = MakeBitmap({.width = 16000, .height = 1, .bits = 8, .compression = kCodeArle});
    arle.resize(1064);
    base::StoreLe<32>(arle.data() + 8, h);
    for (int i = 0; i < h; ++i) {
        const std::uint8_t entry[4] = {static_cast<std::uint8_t>(h * 4),
                                       static_cast<std::uint8_t>((h * 4) >> 8), 0, 0};
        arle.insert(arle.end(), entry, entry + 4);
    }
    arle.insert(arle.end(), {0xC0 | (16000 >> 8), 16000 & 0xFF, 9});
    base::StoreLe<32>(arle.data() + 20, static_cast<std::uint32_t>(arle.size() - 1064));
    EXPECT_FALSE(DecodeArle(arle));
    base::StoreLe<32>(arle.data() + 8, 2);  // the same codes for two rows are fine
    base::StoreLe<32>(arle.data() + 20, static_cast<std::uint32_t>(arle.size() - 1064));
    auto two = DecodeArle(arle);
    ASSERT_TRUE(two);
    EXPECT_EQ((*two)[1064 + 15999], 9);
    EXPECT_EQ((*two)[1064 + 16000 + 15999], 9);
}

TEST(PackedImage, StateCodesOfCompressAndDecompress) {
    PackedImage img;
    EXPECT_EQ(img.Compress(kCodeArle), GfxResult::Empty);
    EXPECT_EQ(img.Decompress(), GfxResult::Empty);
    ASSERT_EQ(img.Create(8, 8, PixelFormat::Indexed8), GfxResult::Ok);
    EXPECT_EQ(img.Decompress(), GfxResult::NotCompressed);
    EXPECT_EQ(img.Compress(FourCC('Z', 'I', 'P', '!')), GfxResult::UnknownCompression);
    std::uint8_t* bits = nullptr;
    ASSERT_EQ(img.Lock(&bits, nullptr), GfxResult::Ok);
    EXPECT_EQ(img.Compress(kCodeArle), GfxResult::Locked);
    img.Unlock();
    ASSERT_EQ(img.Compress(kCodeArle), GfxResult::Ok);
    EXPECT_TRUE(img.IsCompressed());
    EXPECT_EQ(img.Compress(kCodeArle), GfxResult::AlreadyCompressed);
    EXPECT_EQ(img.Lock(&bits, nullptr), GfxResult::CompressedPixels);
    DibSurface dest;
    dest.Create(8, 8, PixelFormat::Indexed8);
    EXPECT_EQ(img.DrawTo(&dest, 0, 0, 8, 8, 0, 0, 8, 8, 0, 0), GfxResult::CompressedPixels);
    // Codecs for 8 bits only refuse other pictures and leave them usable.
    PackedImage wide;
    ASSERT_EQ(wide.Create(4, 4, PixelFormat::Rgb565), GfxResult::Ok);
    EXPECT_EQ(wide.Compress(kCodeArle), GfxResult::BadArgument);
    EXPECT_FALSE(wide.IsCompressed());
    EXPECT_EQ(wide.Lock(&bits, nullptr), GfxResult::Ok);
    wide.Unlock();
}

struct RoundTrip {
    const char* name;
    std::uint32_t code;
    std::uint32_t stored;  // compression field while compressed
    int bits;
    bool masks;
};

class CodecRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(CodecRoundTrip, RandomAndSkinPicturesComeBackExactly) {
    const RoundTrip& rt = GetParam();
    const int widths[] = {1, 2, 3, 4, 5, 7, 63, 64, 65, 130, 333};
    for (int width : widths) {
        for (int kind = 0; kind < 2; ++kind) {
            const int height = 1 + width % 7;
            Bytes rows =
                kind == 0 || rt.bits != 8
                    ? test::RandomRows(width, height, rt.bits, static_cast<std::uint32_t>(width))
                    : test::SkinRows(width, height, static_cast<std::uint32_t>(width),
                                     rt.code == kCodeTrle ? 0 : 252);
            if (rt.code == kCodeTrle && kind == 1 && rt.bits > 8) {
                // Transparent margins for wide pixels too.
                const std::uint32_t rb =
                    RowBytesForBits(rt.bits, static_cast<std::uint32_t>(width));
                for (int y = 0; y < height; ++y)
                    std::memset(rows.data() + y * rb, 0,
                                std::min<std::size_t>(
                                    rb, static_cast<std::size_t>(rt.bits / 8) * (width / 3)));
            }
            BitmapSpec s{.width = width,
                         .height = height,
                         .bits = rt.bits,
                         .compression = rt.masks ? 3u : 0u,
                         .masks = rt.masks};
            if (rt.bits == 16 && rt.masks) s.maskValues[1] = 0x07E0, s.maskValues[0] = 0xF800;
            Bytes bytes = MakeBitmap(s, rows);
            PackedImage img;
            ASSERT_EQ(LoadBytes(img, bytes), GfxResult::Ok);
            const PixelFormat format = img.GetFormat();
            ASSERT_EQ(img.Compress(rt.code), GfxResult::Ok) << width;
            EXPECT_EQ(Compression(img), rt.stored);
            EXPECT_EQ(img.GetFormat(), format);
            // Through a copy of the packed block, as a file would carry it.
            PackedImage copy;
            ASSERT_EQ(copy.CopyFrom(&img), GfxResult::Ok);
            EXPECT_TRUE(copy.IsCompressed());
            ASSERT_EQ(copy.Decompress(), GfxResult::Ok) << width;
            EXPECT_EQ(Compression(copy), rt.masks ? 3u : 0u);
            EXPECT_EQ(copy.GetFormat(), format);
            EXPECT_EQ(Rows(copy), rows) << rt.name << " width " << width << " kind " << kind;
            if (rt.masks) {
                EXPECT_EQ(base::LoadLe<32>(copy.GetHeader() + 44), s.maskValues[1]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecRoundTrip,
                         ::testing::Values(RoundTrip{"ARLE", kCodeArle, kCodeArle, 8, false},
                                           RoundTrip{"PRLE", kCodePrle, kCodePrle, 8, false},
                                           RoundTrip{"PKC1_8", kCodePkcc, kCodePkc1, 8, false},
                                           RoundTrip{"PKC1_1", kCodePkcc, kCodePkc1, 1, false},
                                           RoundTrip{"PKC1_4", kCodePkcc, kCodePkc1, 4, false},
                                           RoundTrip{"PKC1_24", kCodePkcc, kCodePkc1, 24, false},
                                           RoundTrip{"PKC2_16", kCodePkcc, kCodePkc2, 16, true},
                                           RoundTrip{"PKC2_32", kCodePkcc, kCodePkc2, 32, true},
                                           RoundTrip{"TRLE_8", kCodeTrle, kCodeTrle, 8, false},
                                           RoundTrip{"TRLE_16", kCodeTrle, kCodeTrle, 16, true},
                                           RoundTrip{"TRLE_24", kCodeTrle, kCodeTrle, 24, false},
                                           RoundTrip{"TRLE_32", kCodeTrle, kCodeTrle, 32, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The ARLE codes of the first (top) row of a one-row picture.
Bytes ArleCodes(const Bytes& row) {
    const int width = static_cast<int>(row.size());
    Bytes stored = row;
    stored.resize(RowBytesForBits(8, static_cast<std::uint32_t>(width)));
    Bytes plain = MakeBitmap({.width = width, .height = 1, .bits = 8}, stored);
    auto arle = EncodeArle(plain);
    EXPECT_TRUE(arle);
    if (!arle) return {};
    EXPECT_EQ(base::LoadLe<32>(arle->data() + 40 + 1024), 4u);  // row table: codes right after it
    return Bytes(arle->begin() + 40 + 1024 + 4, arle->end());
}

TEST(Arle, PacketFormsAtTheirEdges) {
    EXPECT_EQ(ArleCodes({5, 6, 7}), (Bytes{3, 5, 6, 7}));  // < 4 pixels: one literal
    EXPECT_EQ(ArleCodes({9, 9, 9, 9}), (Bytes{0x44, 9}));
    EXPECT_EQ(ArleCodes(Bytes(63, 4)), (Bytes{0x40 | 63, 4}));
    EXPECT_EQ(ArleCodes(Bytes(64, 4)), (Bytes{0xC0, 64, 4}));
    EXPECT_EQ(ArleCodes(Bytes(300, 4)), (Bytes{0xC1, 44, 4}));
    // Literal then run: 1,2 then four 8s, then a two-pixel tail.
    EXPECT_EQ(ArleCodes({1, 2, 8, 8, 8, 8, 3, 4}), (Bytes{2, 1, 2, 0x44, 8, 2, 3, 4}));
    Bytes lit(70);
    for (int i = 0; i < 70; ++i)
        lit[i] = static_cast<std::uint8_t>(i);
    Bytes codes = ArleCodes(lit);
    ASSERT_EQ(codes.size(), 72u);
    EXPECT_EQ(codes[0], 0x80);
    EXPECT_EQ(codes[1], 70);
}

TEST(Arle, RowsWiderThanOnePacketRoundTrip) {
    const int width = 20000;
    Bytes rows(RowBytesForBits(8, width), 3);
    for (int x = 17000; x < width; ++x)
        rows[x] = static_cast<std::uint8_t>(x * 13);
    Bytes plain = MakeBitmap({.width = width, .height = 1, .bits = 8}, rows);
    auto arle = EncodeArle(plain);
    ASSERT_TRUE(arle);
    auto back = DecodeArle(*arle);
    ASSERT_TRUE(back);
    EXPECT_EQ(Bytes(back->begin() + 1064, back->end()), rows);
}

TEST(Arle, DamagedCodesAreRefusedAndTheImageStaysCompressed) {
    Bytes plain = MakeBitmap({.width = 10, .height = 3, .bits = 8}, test::RandomRows(10, 3, 8, 9));
    auto arle = *EncodeArle(plain);
    const std::size_t table = 1064;
    auto refuse = [&](Bytes bad) {
        EXPECT_FALSE(DecodeArle(bad));
        PackedImage img;
        ASSERT_EQ(LoadBytes(img, bad), GfxResult::Ok);
        EXPECT_EQ(img.Decompress(), GfxResult::BadArgument);
        EXPECT_TRUE(img.IsCompressed());
    };
    Bytes b = arle;
    base::StoreLe<32>(b.data() + table + 4, 0xFFFF);  // row offset past the data
    refuse(b);
    b = arle;
    base::StoreLe<32>(b.data() + table, 2);  // row offset inside the table
    refuse(b);
    b = arle;
    b[table + 12] = 0x7F;  // run of 63 in a 10-pixel row
    refuse(b);
    b = arle;
    base::StoreLe<32>(b.data() + 20, base::LoadLe<32>(b.data() + 20) - 3);  // last row's codes cut
    refuse(b);
}

TEST(Trle, AllZeroRowHasSkipWidthAndCountZero) {
    Bytes rows(8 * 2, 0);
    rows[8 + 2] = 5;  // stored row 1 = top row: 0 0 5 0 0 0
    Bytes plain = MakeBitmap({.width = 6, .height = 2, .bits = 8}, rows);
    auto trle = EncodeTrle(plain);
    ASSERT_TRUE(trle);
    const std::uint8_t* prefix = trle->data() + 1064;
    EXPECT_EQ(base::LoadLe<32>(prefix + 12), 0u);
    EXPECT_EQ(base::LoadLe<16>(prefix + 16 + 4), 2);  // top row: skip 2
    EXPECT_EQ(base::LoadLe<16>(prefix + 16 + 6), 1);  // count 1
    EXPECT_EQ(base::LoadLe<16>(prefix + 24 + 4), 6);  // bottom row: all zero
    EXPECT_EQ(base::LoadLe<16>(prefix + 24 + 6), 0);
    EXPECT_EQ(base::LoadLe<32>(trle->data() + 20), 16u + 2 * 8 + 1);
    auto back = DecodeTrle(*trle);
    ASSERT_TRUE(back);
    EXPECT_EQ(Bytes(back->begin() + 1064, back->end()), rows);
    Bytes bad = *trle;
    base::StoreLe<16>(bad.data() + 1064 + 16 + 4, 6);  // skip + count past the width
    EXPECT_FALSE(DecodeTrle(bad));
}

TEST(Pkc, WrongUnpackedSizeIsRefused) {
    Bytes plain = MakeBitmap({.width = 4, .height = 4, .bits = 8}, test::RandomRows(4, 4, 8, 2));
    auto pkc = EncodePkc(plain);
    ASSERT_TRUE(pkc);
    EXPECT_EQ(base::LoadLe<32>(pkc->data() + 16), kCodePkc1);
    // Replace the block by one that holds one byte less.
    auto shortBlock = base::PackMemory(Bytes(15, 1));
    Bytes bad(pkc->begin(), pkc->begin() + 1064);
    bad.insert(bad.end(), shortBlock->begin(), shortBlock->end());
    base::StoreLe<32>(bad.data() + 20, static_cast<std::uint32_t>(shortBlock->size()));
    EXPECT_FALSE(DecodePkc(bad));
}

TEST(PackedImage, DecompressOnLoadAndCopyKeepsCompressedData) {
    Bytes rows = test::SkinRows(53, 50, 4);
    Bytes plain = MakeBitmap({.width = 53, .height = 50, .bits = 8}, rows);
    Bytes arle = *EncodeArle(plain);
    PackedImage img;
    ASSERT_EQ(LoadBytes(img, arle, load::kDecompress), GfxResult::Ok);
    EXPECT_FALSE(img.IsCompressed());
    EXPECT_EQ(Rows(img), rows);
    DibSurface surface;
    ASSERT_EQ(LoadBytes(img, arle), GfxResult::Ok);
    base::BorrowedStorage mem(arle.data(), arle.size());
    ImageSource src;
    src.memory = &mem;
    ASSERT_EQ(surface.Load(src, load::kFromMemory), GfxResult::Ok);  // decompressed on the way
    EXPECT_EQ(surface.GetPixel(0, 49), rows[0]);
}

TEST(Convert, BetweenTrueColourFormatsAndToIndexedWithPalette) {
    // A 24-bit picture of four colours.
    Bytes rows(16, 0);
    const std::uint8_t px[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};  // BGR
    for (int i = 0; i < 4; ++i)
        std::memcpy(&rows[3 * i], px[i], 3);
    Bytes bytes = MakeBitmap({.width = 4, .height = 1, .bits = 24}, rows);
    PackedImage img;
    ASSERT_EQ(LoadBytes(img, bytes), GfxResult::Ok);
    ASSERT_EQ(img.Convert(PixelFormat::Rgb565, nullptr, 0), GfxResult::Ok);
    EXPECT_EQ(img.GetFormat(), PixelFormat::Rgb565);
    EXPECT_EQ(img.GetPixel(0, 0), 0xF800u);  // red
    EXPECT_EQ(img.GetPixel(1, 0), 0x07E0u);
    EXPECT_EQ(img.GetPixel(2, 0), 0x001Fu);
    EXPECT_EQ(img.GetPixel(3, 0), 0xFFFFu);
    ASSERT_EQ(img.Convert(PixelFormat::Rgb555, nullptr, 0), GfxResult::Ok);
    EXPECT_EQ(img.GetPixel(0, 0), 0x7C00u);
    EXPECT_EQ(img.GetPixel(3, 0), 0x7FFFu);
    auto pal = Ref<Palette>::Adopt(Palette::New());
    pal->Create(256);
    const PaletteEntry e[4] = {{250, 0, 0, 0}, {0, 250, 0, 0}, {0, 0, 250, 0}, {250, 250, 250, 0}};
    pal->SetEntries(e, 10, 4);
    EXPECT_EQ(img.Convert(PixelFormat::Indexed8, nullptr, 0), GfxResult::BadArgument);
    for (std::uint32_t fast = 0; fast < 2; ++fast) {
        PackedImage c;
        ASSERT_EQ(c.CopyFrom(&img), GfxResult::Ok);
        ASSERT_EQ(c.Convert(PixelFormat::Indexed8, pal.get(), fast), GfxResult::Ok);
        EXPECT_EQ(c.GetPixel(0, 0), 10u) << fast;
        EXPECT_EQ(c.GetPixel(1, 0), 11u);
        EXPECT_EQ(c.GetPixel(2, 0), 12u);
        EXPECT_EQ(c.GetPixel(3, 0), 13u);
        ASSERT_EQ(c.Convert(PixelFormat::Bgrx32, nullptr, 0), GfxResult::Ok);
        EXPECT_EQ(c.GetPixel(3, 0), 0x00FAFAFAu);
    }
    // A DibSurface converts through a packed image.
    DibSurface s;
    ASSERT_EQ(s.CopyFrom(&img), GfxResult::Ok);
    ASSERT_EQ(s.Convert(PixelFormat::Bgr24, nullptr, 0), GfxResult::Ok);
    EXPECT_EQ(s.GetPixel(0, 0), 0xF8'00'00u);
    DibSurface empty;
    EXPECT_EQ(empty.Convert(PixelFormat::Bgr24, nullptr, 0), GfxResult::Empty);
}

}  // namespace
}  // namespace tamboro::gfx
