#include "tools/skins/Output.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "base/ByteOrder.h"
#include "console/layout/ProLayout.h"
#include "gfx/BitmapHeader.h"
#include "gfx/Codecs.h"
#include "tools/skins/Art.h"

namespace tamboro::skins {
namespace {

namespace L = console::layout;
using gfx::Bytes;
using gfx::FixedEntry;
using gfx::Rgb;

Rgb ToRgb(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

// The exact colours a palette must hold, at fixed indexes: the transparent
// key, the text green with its ramp from the panels' black, what the PRO
// console draws with, and the lights of the theme.
std::vector<FixedEntry> FixedEntries(const std::string& group, int theme) {
    std::vector<FixedEntry> fixed;
    fixed.push_back({L::kTransparentIndex, {255, 0, 255}, false});
    const bool main = group.rfind("TAMBOROTM", 0) == 0;
    const bool pro = group.rfind("PROTM", 0) == 0;
    if (!main && !pro) return fixed;
    for (int k = 0; k < 16; ++k) {
        fixed.push_back({k, {0, static_cast<std::uint8_t>((255 * k + 7) / 15), 0}});
    }
    int next = 16;
    auto add = [&](Rgb c) {
        for (const FixedEntry& f : fixed)
            if (f.colour == c && f.usable) return;
        fixed.push_back({next++, c});
    };
    if (pro) {
        for (const L::Rgb& c : {L::kProLaneEnabled, L::kProLaneDisabled, L::kProThumbnailBack}) {
            add({c.r, c.g, c.b});
        }
        for (Rgb c : {Rgb{255, 0, 0}, Rgb{0, 0, 255}, Rgb{255, 255, 255}, Rgb{0, 0, 0}})
            add(c);
    }
    const Theme& t = ThemeFor(theme);
    for (const QColor& c : {t.led, t.accent, t.padLit, t.pointer, t.glyph})
        add(ToRgb(c));
    return fixed;
}

// Error diffusion helps the large, smooth pictures; small sprites stay crisp.
float DitherFor(const L::SkinImage& entry) {
    if (entry.width * entry.height >= 320 * 200) return 0.65f;
    return 0.0f;
}

// A packed bitmap: info header, 256 colours, rows bottom-up.
Bytes PlainBitmap(const Encoded& e) {
    std::uint8_t header[gfx::kHeaderBufferSize];
    const std::size_t headerSize =
        gfx::BuildHeader(e.entry.width, e.entry.height, gfx::PixelFormat::Indexed8, header);
    const std::uint32_t rowBytes =
        gfx::RowBytesForBits(8, static_cast<std::uint32_t>(e.entry.width));
    base::StoreLe<32>(header + gfx::bih::kImageSize,
                      rowBytes * static_cast<std::uint32_t>(e.entry.height));
    base::StoreLe<32>(header + gfx::bih::kColoursUsed, 256);
    for (int i = 0; i < 256; ++i) {
        const Rgb c = e.palette[static_cast<std::size_t>(i)];
        header[40 + 4 * i] = c.b;
        header[41 + 4 * i] = c.g;
        header[42 + 4 * i] = c.r;
        header[43 + 4 * i] = 0;
    }
    Bytes out(header, header + headerSize);
    for (int y = e.entry.height - 1; y >= 0; --y) {
        const auto* row = e.indices.data() + static_cast<std::size_t>(y) * e.entry.width;
        out.insert(out.end(), row, row + e.entry.width);
        out.resize(out.size() + (rowBytes - static_cast<std::uint32_t>(e.entry.width)), 0);
    }
    return out;
}

Bytes WithFileHeader(const Bytes& packed) {
    const std::uint32_t offset = static_cast<std::uint32_t>(gfx::kFileHeaderSize + 40 + 1024);
    Bytes out(gfx::kFileHeaderSize + packed.size(), 0);
    out[0] = 'B';
    out[1] = 'M';
    base::StoreLe<32>(out.data() + 2, static_cast<std::uint32_t>(out.size()));
    base::StoreLe<32>(out.data() + 10, offset);
    std::copy(packed.begin(), packed.end(), out.begin() + gfx::kFileHeaderSize);
    return out;
}

std::uint64_t Fnv1a(const Bytes& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

bool WriteIfChanged(const std::filesystem::path& path, const std::string& data) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            const std::string old((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
            if (old == data) return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

const char* SetName(L::SkinSet s) {
    switch (s) {
        case L::SkinSet::Main:
            return "main";
        case L::SkinSet::Pro:
            return "pro";
        case L::SkinSet::General:
            return "general";
        case L::SkinSet::Shared:
            return "shared";
    }
    return "?";
}

}  // namespace

std::string PaletteGroup(const L::SkinImage& entry) {
    for (int t = 0; t < L::kThemeCount; ++t) {
        for (L::SkinSet s : {L::SkinSet::Main, L::SkinSet::Pro, L::SkinSet::General}) {
            const std::string prefix = L::ThemePrefix(s, t);
            if (entry.set == s && entry.name.rfind(prefix, 0) == 0) return prefix;
        }
    }
    if (entry.name.rfind("GBUTTON", 0) == 0) return "GBUTTON";
    if (entry.name == L::kSplashName) return "SPLASH";
    return "CURSORS";
}

std::vector<Encoded> Encode(const std::vector<Picture>& pictures) {
    std::vector<Encoded> out(pictures.size());
    std::map<std::string, std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        out[i].entry = pictures[i].entry;
        out[i].group = PaletteGroup(pictures[i].entry);
        out[i].transparent = pictures[i].transparent;
        groups[out[i].group].push_back(i);
    }
    for (const auto& [group, members] : groups) {
        int theme = 0;
        if (!group.empty() && group.back() >= '1' && group.back() <= '4')
            theme = group.back() - '1';
        // Count every opaque pixel of the group.
        gfx::ColorQuantizer q;
        for (std::size_t i : members) {
            const Picture& pic = pictures[i];
            for (int y = 0; y < pic.pixels.height(); ++y) {
                const QRgb* row = reinterpret_cast<const QRgb*>(pic.pixels.constScanLine(y));
                for (int x = 0; x < pic.pixels.width(); ++x) {
                    const std::size_t k = static_cast<std::size_t>(y * pic.pixels.width() + x);
                    if (!pic.transparent.empty() && pic.transparent[k]) continue;
                    q.Add(row[x] & 0xFFFFFFu);
                }
            }
        }
        const std::vector<FixedEntry> fixed = FixedEntries(group, theme);
        const gfx::Palette256 palette = q.Build(fixed);
        std::array<bool, 256> usable{};
        usable.fill(true);
        usable[L::kTransparentIndex] = false;
        gfx::PaletteMapper mapper(palette, usable);
        // The group's background comes first in the list; pictures drawn
        // over it take its index wherever they carry its colour.
        const Picture* back = nullptr;
        const Encoded* backEncoded = nullptr;
        for (std::size_t i : members) {
            const Picture& pic = pictures[i];
            Encoded& e = out[i];
            e.palette = palette;
            const int w = pic.pixels.width(), h = pic.pixels.height();
            std::vector<std::uint32_t> rgb(static_cast<std::size_t>(w * h));
            for (int y = 0; y < h; ++y) {
                const QRgb* row = reinterpret_cast<const QRgb*>(pic.pixels.constScanLine(y));
                for (int x = 0; x < w; ++x)
                    rgb[static_cast<std::size_t>(y * w + x)] = row[x] & 0xFFFFFFu;
            }
            e.indices.resize(rgb.size());
            mapper.Map(rgb, w, h, e.indices.data(),
                       pic.transparent.empty() ? nullptr : pic.transparent.data(),
                       static_cast<std::uint8_t>(L::kTransparentIndex), DitherFor(pic.entry));
            if (pic.entry.name.ends_with("BACK") && pic.placeX < 0) {
                back = &pic;
                backEncoded = &e;
            } else if (back && pic.placeX >= 0) {
                for (int y = 0; y < h; ++y) {
                    const QRgb* under =
                        reinterpret_cast<const QRgb*>(back->pixels.constScanLine(pic.placeY + y));
                    for (int x = 0; x < w; ++x) {
                        const std::size_t k = static_cast<std::size_t>(y * w + x);
                        if (e.indices[k] == L::kTransparentIndex) continue;
                        if ((under[pic.placeX + x] & 0xFFFFFFu) != rgb[k]) continue;
                        e.indices[k] = backEncoded->indices[static_cast<std::size_t>(
                            (pic.placeY + y) * back->pixels.width() + pic.placeX + x)];
                    }
                }
            }
            // Store the smallest form the picture's reader decodes.
            const Bytes bare = PlainBitmap(e);
            e.file = WithFileHeader(bare);
            e.packing = "plain";
            if (pic.entry.reader == L::SkinReader::Graphics) {
                if (auto arle = gfx::EncodeArle(bare)) {
                    if (auto prle = gfx::EncodePrle(*arle)) {
                        if (prle->size() + gfx::kFileHeaderSize < e.file.size()) {
                            e.file = WithFileHeader(*prle);
                            e.packing = "PRLE";
                        }
                    }
                }
            } else if (pic.entry.rle8Allowed) {
                if (auto rle = gfx::EncodeRle8(bare)) {
                    if (rle->size() + gfx::kFileHeaderSize < e.file.size()) {
                        e.file = WithFileHeader(*rle);
                        e.packing = "RLE8";
                    }
                }
            }
        }
    }
    return out;
}

bool WriteOutputs(const std::vector<Encoded>& images, const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path root = fs::absolute(folder);
    std::error_code ec;
    fs::create_directories(root / "bmp", ec);
    fs::create_directories(root / "masks", ec);
    if (ec) return false;
    bool ok = true;
    std::ostringstream manifest;
    manifest << "# name width height set reader packing masked hot_x hot_y palette_group bytes\n";
    std::ostringstream asmText, table, decls;
    int i = 0;
    for (const Encoded& e : images) {
        const fs::path file = root / "bmp" / (e.entry.name + ".bmp");
        ok &= WriteIfChanged(file, std::string(e.file.begin(), e.file.end()));
        if (!e.transparent.empty()) {
            // PBM (P4): one bit a pixel, 1 = transparent, rows padded to bytes.
            std::string pbm = "P4\n" + std::to_string(e.entry.width) + " " +
                              std::to_string(e.entry.height) + "\n";
            const int rowBytes = (e.entry.width + 7) / 8;
            for (int y = 0; y < e.entry.height; ++y) {
                std::string row(static_cast<std::size_t>(rowBytes), '\0');
                for (int x = 0; x < e.entry.width; ++x) {
                    if (e.transparent[static_cast<std::size_t>(y * e.entry.width + x)]) {
                        row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
                    }
                }
                pbm += row;
            }
            ok &= WriteIfChanged(root / "masks" / (e.entry.name + ".pbm"), pbm);
        }
        manifest << e.entry.name << ' ' << e.entry.width << ' ' << e.entry.height << ' '
                 << SetName(e.entry.set) << ' '
                 << (e.entry.reader == L::SkinReader::Graphics ? "graphics" : "toolkit") << ' '
                 << e.packing << ' ' << (e.transparent.empty() ? 0 : 1) << ' ' << e.entry.hotX
                 << ' ' << e.entry.hotY << ' ' << e.group << ' ' << e.file.size() << '\n';
        char hash[32];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(e.file)));
        const std::string sym = "tamboro_skin_" + std::to_string(i);
        asmText << "    \".globl " << sym << "\\n\"\n"
                << "    \".hidden " << sym << "\\n\"\n"
                << "    \".balign 16\\n\"\n"
                << "    \"" << sym << ":\\n\"\n"
                << "    \".incbin \\\"" << file.string() << "\\\"\\n\"  // fnv1a " << hash << "\n"
                << "    \".byte 0\\n\"\n";
        decls << "extern const unsigned char " << sym << "[];\n";
        table << "    {\"" << e.entry.name << "\", \"BITMAP\", " << sym << ", " << e.file.size()
              << "},\n";
        ++i;
    }
    std::ostringstream src;
    src << "// Generated by tamboro-skins: the skin pictures, embedded with the\n"
           "// assembler's .incbin (the hashes below change this source whenever a\n"
           "// picture changes, so no compiler cache can hand out stale pictures).\n"
           "#include <cstddef>\n\n#include \"platform/Resources.h\"\n\n"
           "asm(\"    .section .rodata.tamboro_skins,\\\"a\\\",@progbits\\n\"\n"
        << asmText.str() << "    \"    .previous\\n\");\n\n"
        << "extern \"C\" {\n"
        << decls.str() << "}\n\nnamespace {\n"
        << "const tamboro::platform::ResourceEntry kSkins[] = {\n"
        << table.str() << "};\n"
        << "}  // namespace\n\n"
        << "const tamboro::platform::ResourceEntry* TamboroSkinResources(std::size_t* count) {\n"
        << "    *count = sizeof kSkins / sizeof kSkins[0];\n    return kSkins;\n}\n";
    ok &= WriteIfChanged(root / "manifest.txt", manifest.str());
    ok &= WriteIfChanged(root / "SkinResources.cpp", src.str());
    return ok;
}

}  // namespace tamboro::skins
