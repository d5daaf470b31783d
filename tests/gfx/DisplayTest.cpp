#include "gfx/Display.h"

#include <gtest/gtest.h>

#include <vector>

#include "gfx/GfxSystem.h"
#include "gfx/Palette.h"

namespace tamboro::gfx {
namespace {

// A window that records what it was asked to show.
class RecordingWindow final : public DisplayWindow {
  public:
    struct Shown {
        int dx, dy, dw, dh, sx, sy, sw, sh;
        std::vector<std::uint8_t> firstRow;
    };
    int width = 700;
    int height = 500;
    int bits = 32;
    bool allowFullScreen = true;
    bool fullScreen = false;
    int fullScreenCalls = 0;
    std::vector<Shown> shown;
    std::vector<std::uint32_t> fills;

    int ClientWidth() const override { return width; }
    int ClientHeight() const override { return height; }
    int ScreenBits() const override { return bits; }
    void Present(const DrawContext& p, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                 int sh) override {
        Shown s{dx, dy, dw, dh, sx, sy, sw, sh, {}};
        s.firstRow.assign(p.pixels, p.pixels + p.width);
        shown.push_back(std::move(s));
    }
    void Fill(int, int, int, int, std::uint32_t colour) override { fills.push_back(colour); }
    void Invalidate() override {}
    bool SetFullScreen(bool on) override {
        ++fullScreenCalls;
        if (!allowFullScreen) return false;
        fullScreen = on;
        return true;
    }
};

TEST(Display, OpenWithoutWindowFailsAndStaysClosed) {
    GfxSystem system;
    auto display = system.NewDisplay();
    EXPECT_EQ(display->Open(640, 480, PixelFormat::Indexed8, nullptr, 0), GfxResult::BadArgument);
    EXPECT_FALSE(display->IsOpen());
    EXPECT_EQ(display->BackBuffer(), nullptr);
}

TEST(Display, PaintShowsTheWholeBackBufferUnscaledAtTopLeft) {
    GfxSystem system;
    RecordingWindow window;
    auto display = system.NewDisplay();
    ASSERT_EQ(display->Open(64, 48, PixelFormat::Indexed8, &window, 0), GfxResult::Ok);
    DibSurface* back = display->BackBuffer();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetWidth(), 64);
    back->SetPixel(3, 0, 200);
    display->Paint();
    ASSERT_EQ(window.shown.size(), 1u);
    const auto& s = window.shown[0];
    EXPECT_EQ(s.dx, 0);
    EXPECT_EQ(s.dy, 0);
    EXPECT_EQ(s.dw, 64);  // not the window's 700: no stretching
    EXPECT_EQ(s.dh, 48);
    EXPECT_EQ(s.sw, 64);
    EXPECT_EQ(s.sh, 48);
    ASSERT_EQ(s.firstRow.size(), 64u);
    EXPECT_EQ(s.firstRow[3], 200);
    EXPECT_EQ(s.firstRow[2], 0);
}

TEST(Display, FullScreenOnlyWithPaletteManagedAndLeftOnClose) {
    GfxSystem system;
    RecordingWindow window;
    Display display;
    display.Open(32, 32, PixelFormat::Indexed8, &window, display::kFullScreen);
    EXPECT_FALSE(display.FullScreen());
    EXPECT_EQ(window.fullScreenCalls, 0);

    display.Open(32, 32, PixelFormat::Indexed8, &window,
                 display::kFullScreen | display::kPaletteManaged);
    EXPECT_TRUE(display.FullScreen());
    EXPECT_TRUE(window.fullScreen);
    display.Close();
    EXPECT_FALSE(window.fullScreen);

    window.allowFullScreen = false;
    display.Open(32, 32, PixelFormat::Indexed8, &window,
                 display::kFullScreen | display::kPaletteManaged);
    EXPECT_FALSE(display.FullScreen());
    EXPECT_TRUE(display.IsOpen());
}

TEST(Display, SizeReplacesAResizableBackBufferKeepingFormatAndPalette) {
    GfxSystem system;
    RecordingWindow window;
    Display display;
    display.Open(16, 16, PixelFormat::Indexed8, &window, display::kResizable);
    Palette* palette = Palette::New();
    ASSERT_EQ(palette->Create(256), GfxResult::Ok);
    ASSERT_EQ(display.BackBuffer()->SetPalette(palette), GfxResult::Ok);
    palette->Release();
    display.BackBuffer()->SetPixel(1, 1, 7);

    display.Size(40, 30);
    EXPECT_EQ(display.BackBuffer()->GetWidth(), 40);
    EXPECT_EQ(display.BackBuffer()->GetHeight(), 30);
    EXPECT_EQ(display.BackBuffer()->GetFormat(), PixelFormat::Indexed8);
    EXPECT_EQ(display.BackBuffer()->GetPalette(), palette);
    EXPECT_EQ(display.BackBuffer()->GetPixel(1, 1), 0u);  // the picture is not kept

    // Full screen ignores the resizable flag.
    display.Open(16, 16, PixelFormat::Indexed8, &window,
                 display::kFullScreen | display::kPaletteManaged | display::kResizable);
    display.Size(40, 30);
    EXPECT_EQ(display.BackBuffer()->GetWidth(), 16);
}

TEST(WindowSurface, ReadsTheClientSizeLiveAndTakesTheScreenFormat) {
    RecordingWindow window;
    WindowSurface surface;
    EXPECT_EQ(surface.GetWidth(), 0);
    surface.Attach(&window, false);
    EXPECT_EQ(surface.GetKind(), ImageKind::Window);
    EXPECT_EQ(surface.GetFormat(), PixelFormat::Bgrx32);
    window.width = 123;
    EXPECT_EQ(surface.GetWidth(), 123);
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    EXPECT_EQ(surface.Lock(&bits, &pitch), GfxResult::NotSupported);
    EXPECT_EQ(surface.FillRect(0, 0, 5, 5, 0x00FF0000), GfxResult::Ok);
    EXPECT_EQ(window.fills, std::vector<std::uint32_t>({0x00FF0000}));
    window.bits = 15;
    surface.Attach(&window, false);
    EXPECT_EQ(surface.GetFormat(), PixelFormat::None);
    EXPECT_EQ(surface.FillRect(0, 0, 5, 5, 0), GfxResult::Empty);
}

TEST(WindowSurface, ScreenDepthsMapToFormatCodes) {
    const std::pair<int, PixelFormat> table[] = {
        {1, PixelFormat::Indexed1}, {2, PixelFormat::Indexed2}, {4, PixelFormat::Indexed4},
        {8, PixelFormat::Indexed8}, {16, PixelFormat::Rgb555},  {24, PixelFormat::Bgr24},
        {32, PixelFormat::Bgrx32},  {15, PixelFormat::None},    {0, PixelFormat::None}};
    for (auto [bits, format] : table)
        EXPECT_EQ(ScreenFormat(bits), format) << bits;
}

}  // namespace
}  // namespace tamboro::gfx
