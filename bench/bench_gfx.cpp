// Blitter and codec speed, each measured against its peers in the same run:
// memcpy of the same bytes, SDL2's SDL_BlitSurface between 8-bit surfaces
// with colour key 252 (with and without RLE acceleration), zlib's uncompress.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "base/ByteOrder.h"
#include "gfx/BitmapHeader.h"
#include "gfx/Codecs.h"
#include "gfx/DibSurface.h"
#include "gfx/GfxSystem.h"
#include "platform/Cpu.h"

namespace {

using namespace tamboro::gfx;

constexpr int kScreenW = 640;
constexpr int kScreenH = 480;
constexpr int kPadW = 53;
constexpr int kPadH = 50;
constexpr std::uint8_t kKey = 252;

// A skin-like picture: a rounded shape on key colour, gradients, flat bands, speckle.
std::vector<std::uint8_t> SkinPixels(int w, int h, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const long cx = x - w / 2, cy = y - h / 2;
            std::uint8_t v;
            if (cx * cx * h * h + cy * cy * w * w > static_cast<long>(w) * w * h * h / 4) {
                v = kKey;
            } else if (y < h / 3) {
                v = static_cast<std::uint8_t>(40 + x * 60 / w);
            } else if (rng() % 23 == 0) {
                v = static_cast<std::uint8_t>(rng() % 250);
            } else {
                v = static_cast<std::uint8_t>(100 + (x / 9) % 3);
            }
            p[static_cast<std::size_t>(y) * w + x] = v;
        }
    }
    return p;
}

// One picture as our surface and as an SDL surface.
struct Picture {
    Picture(int w, int h, std::uint32_t seed) : pixels(SkinPixels(w, h, seed)) {
        surface.Create(w, h, PixelFormat::Indexed8);
        std::uint8_t* bits = nullptr;
        std::uint32_t pitch = 0;
        surface.Lock(&bits, &pitch);
        for (int y = 0; y < h; ++y)
            std::memcpy(bits + y * pitch, &pixels[static_cast<std::size_t>(y) * w],
                        static_cast<std::size_t>(w));
        surface.sourceKey = kKey;
        sdl = SDL_CreateRGBSurfaceWithFormat(0, w, h, 8, SDL_PIXELFORMAT_INDEX8);
        for (int y = 0; y < h; ++y) {
            std::memcpy(static_cast<std::uint8_t*>(sdl->pixels) + y * sdl->pitch,
                        &pixels[static_cast<std::size_t>(y) * w], static_cast<std::size_t>(w));
        }
    }
    ~Picture() { SDL_FreeSurface(sdl); }
    std::vector<std::uint8_t> pixels;
    DibSurface surface;
    SDL_Surface* sdl = nullptr;
};

SDL_Surface* SdlScreen(SDL_Palette* palette) {
    SDL_Surface* s =
        SDL_CreateRGBSurfaceWithFormat(0, kScreenW, kScreenH, 8, SDL_PIXELFORMAT_INDEX8);
    SDL_SetSurfacePalette(s, palette);
    return s;
}

// ---- 640×480 keyed copy -------------------------------------------------

void BM_KeyedCopy_Tamboro(benchmark::State& state) {
    GfxSystem system;
    tamboro::platform::SetForcePlainKernels(state.range(0) == 0);
    Picture pic(kScreenW, kScreenH, 1);
    DibSurface screen;
    screen.Create(kScreenW, kScreenH, PixelFormat::Indexed8);
    for (auto _ : state) {
        screen.BlitFrom(0, 0, kScreenW, kScreenH, &pic.surface, 0, 0, kScreenW, kScreenH,
                        blit::kSourceKey, 0);
        benchmark::ClobberMemory();
    }
    tamboro::platform::SetForcePlainKernels(false);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH);
    state.SetLabel(state.range(0) ? "fast kernels" : "plain kernels");
}
BENCHMARK(BM_KeyedCopy_Tamboro)->Arg(1)->Arg(0);

void BM_KeyedCopy_Sdl(benchmark::State& state) {
    Picture pic(kScreenW, kScreenH, 1);
    SDL_SetColorKey(pic.sdl, SDL_TRUE, kKey);
    if (state.range(0)) SDL_SetSurfaceRLE(pic.sdl, 1);
    SDL_Surface* screen = SdlScreen(pic.sdl->format->palette);
    for (auto _ : state) {
        SDL_Rect r{0, 0, kScreenW, kScreenH};
        SDL_BlitSurface(pic.sdl, nullptr, screen, &r);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(screen);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH);
    state.SetLabel(state.range(0) ? "SDL_RLEACCEL" : "no RLE");
}
BENCHMARK(BM_KeyedCopy_Sdl)->Arg(0)->Arg(1);

void BM_Memcpy(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_Memcpy)->Arg(kScreenW* kScreenH)->Arg(80 * kPadW * kPadH);

// ---- plain 640×480 copy ---------------------------------------------------

void BM_PlainCopy_Tamboro(benchmark::State& state) {
    GfxSystem system;
    Picture pic(kScreenW, kScreenH, 2);
    DibSurface screen;
    screen.Create(kScreenW, kScreenH, PixelFormat::Indexed8);
    for (auto _ : state) {
        screen.BlitFrom(0, 0, kScreenW, kScreenH, &pic.surface, 0, 0, kScreenW, kScreenH, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH);
}
BENCHMARK(BM_PlainCopy_Tamboro);

void BM_PlainCopy_Sdl(benchmark::State& state) {
    Picture pic(kScreenW, kScreenH, 2);
    SDL_Surface* screen = SdlScreen(pic.sdl->format->palette);
    for (auto _ : state) {
        SDL_Rect r{0, 0, kScreenW, kScreenH};
        SDL_BlitSurface(pic.sdl, nullptr, screen, &r);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(screen);
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH);
}
BENCHMARK(BM_PlainCopy_Sdl);

// ---- 80 pad-sized sprites -------------------------------------------------

// Sprite positions on the console: a grid of 10 × 8, like the twenty pads
// in all four states.
SDL_Rect SpriteAt(int i) {
    return SDL_Rect{10 + (i % 10) * 62, 10 + (i / 10) * 58, kPadW, kPadH};
}

void BM_Sprites80_Tamboro(benchmark::State& state) {
    GfxSystem system;
    tamboro::platform::SetForcePlainKernels(state.range(0) == 0);
    Picture pad(kPadW, kPadH, 3);
    DibSurface screen;
    screen.Create(kScreenW, kScreenH, PixelFormat::Indexed8);
    for (auto _ : state) {
        for (int i = 0; i < 80; ++i) {
            const SDL_Rect r = SpriteAt(i);
            screen.BlitFrom(r.x, r.y, kPadW, kPadH, &pad.surface, 0, 0, kPadW, kPadH,
                            blit::kSourceKey, 0);
        }
        benchmark::ClobberMemory();
    }
    tamboro::platform::SetForcePlainKernels(false);
    state.SetBytesProcessed(state.iterations() * 80 * kPadW * kPadH);
    state.SetLabel(state.range(0) ? "fast kernels" : "plain kernels");
}
BENCHMARK(BM_Sprites80_Tamboro)->Arg(1)->Arg(0);

void BM_Sprites80_Sdl(benchmark::State& state) {
    Picture pad(kPadW, kPadH, 3);
    SDL_SetColorKey(pad.sdl, SDL_TRUE, kKey);
    if (state.range(0)) SDL_SetSurfaceRLE(pad.sdl, 1);
    SDL_Surface* screen = SdlScreen(pad.sdl->format->palette);
    for (auto _ : state) {
        for (int i = 0; i < 80; ++i) {
            SDL_Rect r = SpriteAt(i);
            SDL_BlitSurface(pad.sdl, nullptr, screen, &r);
        }
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(screen);
    state.SetBytesProcessed(state.iterations() * 80 * kPadW * kPadH);
    state.SetLabel(state.range(0) ? "SDL_RLEACCEL" : "no RLE");
}
BENCHMARK(BM_Sprites80_Sdl)->Arg(0)->Arg(1);

// ---- ARLE decoding against zlib --------------------------------------------

std::vector<std::uint8_t> PackedScreen() {
    const auto pixels = SkinPixels(kScreenW, kScreenH, 4);
    std::vector<std::uint8_t> b(40 + 1024 + pixels.size());
    tamboro::base::StoreLe<32>(b.data(), 40);
    tamboro::base::StoreLe<32>(b.data() + 4, kScreenW);
    tamboro::base::StoreLe<32>(b.data() + 8, kScreenH);
    tamboro::base::StoreLe<16>(b.data() + 12, 1);
    tamboro::base::StoreLe<16>(b.data() + 14, 8);
    std::memcpy(b.data() + 1064, pixels.data(), pixels.size());
    return b;
}

void BM_Decode_Arle(benchmark::State& state) {
    const auto arle = *EncodeArle(PackedScreen());
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeArle(arle));
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH);
    state.counters["coded_bytes"] = static_cast<double>(arle.size() - 1064);
}
BENCHMARK(BM_Decode_Arle);

void BM_Decode_ZlibUncompress(benchmark::State& state) {
    const auto plain = PackedScreen();
    uLongf packedSize = compressBound(plain.size() - 1064);
    std::vector<std::uint8_t> packed(packedSize);
    compress(packed.data(), &packedSize, plain.data() + 1064, plain.size() - 1064);
    std::vector<std::uint8_t> out(plain.size() - 1064);
    for (auto _ : state) {
        uLongf outSize = out.size();
        uncompress(out.data(), &outSize, packed.data(), packedSize);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kScreenW * kScreenH);
    state.counters["coded_bytes"] = static_cast<double>(packedSize);
}
BENCHMARK(BM_Decode_ZlibUncompress);

}  // namespace

BENCHMARK_MAIN();
