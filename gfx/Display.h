#pragma once
// Putting pictures on the screen without knowing the toolkit.
//
// A `DisplayWindow` is the hook through which the graphics library reaches a
// window: the desktop program implements it over its toolkit's widget. A
// `WindowSurface` is the `Image` that stands for that window's client area;
// a `Display` bundles the window, its surface and an off-screen back buffer
// (`DibSurface`) that `Paint` shows at the window's top left, unscaled.
//
// Full screen goes through the window system (the window fills the screen);
// the screen's mode is never changed. Palette realisation has nothing to do
// on a true-colour screen: the window shows the back buffer's own colours.
//
// User-interface thread only.
#include <cstdint>
#include <memory>

#include "gfx/DibSurface.h"
#include "gfx/Image.h"

namespace tamboro::gfx {

class DisplayWindow {
  public:
    virtual ~DisplayWindow() = default;
    // The client area's size in pixels.
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    // Bits per pixel of the screen the window is on (24 or 32 on today's
    // screens).
    virtual int ScreenBits() const = 0;
    // Shows (sx, sy, sw, sh) of `pixels` in (dx, dy, dw, dh) of the client
    // area, stretched when the sizes differ. The pixels are read before the
    // call returns.
    virtual void Present(const DrawContext& pixels, int dx, int dy, int dw, int dh, int sx, int sy,
                         int sw, int sh) = 0;
    // Fills a client rectangle with a 0x00BBGGRR colour.
    virtual void Fill(int x, int y, int w, int h, std::uint32_t colour) = 0;
    // Asks for the window to be painted again (the owner then calls Paint).
    virtual void Invalidate() = 0;
    // Makes the window fill its screen, or returns it to its normal size.
    // Answers whether the window system did so.
    virtual bool SetFullScreen(bool on) = 0;
};

// Display flags.
namespace display {
inline constexpr std::uint32_t kFullScreen = 0x1;      // only with kPaletteManaged
inline constexpr std::uint32_t kPaletteManaged = 0x4;  // also the surface's background flag
inline constexpr std::uint32_t kResizable = 0x8;       // ignored in full screen
}  // namespace display

class WindowSurface final : public Image {
  public:
    WindowSurface() = default;
    ~WindowSurface() override;

    // Binds the surface to a window (which must outlive it or be detached
    // with Destroy) and takes the screen's pixel format. Answers 0.
    GfxResult Attach(DisplayWindow* window, bool background);
    DisplayWindow* Window() const { return m_window; }
    bool Background() const { return m_background; }

    GfxResult Destroy() override;
    ImageKind GetKind() const override { return ImageKind::Window; }
    // The client area's size, read live; 0 without a window.
    int GetWidth() const override;
    int GetHeight() const override;
    // A window's pixels cannot be read back through the window system, so
    // it is never a source: BadArgument (2).
    GfxResult DrawTo(Image* dest, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                     std::uint32_t flags, BlitExtra extra) override;
    // Shows part of `source` (anything with a drawing context) in the
    // window, stretched. BadArgument (2) without a source, a window, or
    // source pixels.
    GfxResult BlitFrom(int dx, int dy, int dw, int dh, Image* source, int sx, int sy, int sw,
                       int sh, std::uint32_t flags, BlitExtra extra) override;
    // `colour` is a 0x00BBGGRR colour, not a pixel value. Empty (3) without
    // a format, BadArgument (2) without a window.
    GfxResult FillRect(int x, int y, int w, int h, std::uint32_t colour) override;
    // Not supported (1): the window's pixels are not in memory.
    GfxResult Lock(std::uint8_t** bits, std::uint32_t* pitch) override;
    GfxResult Unlock() override { return GfxResult::NotSupported; }

  private:
    DisplayWindow* m_window = nullptr;
    bool m_background = false;
};

// The pixel format code for a screen depth: 1 -> 1, 2 -> 2, 4 -> 3, 8 -> 4,
// 16 -> 7, 24 -> 11, 32 -> 13, anything else None.
PixelFormat ScreenFormat(int bitsPerPixel);

class Display {
  public:
    Display() = default;
    virtual ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Closes, then binds to `window` with a new back buffer of the size and
    // format (its result is not examined). BadArgument (2) without a window,
    // which leaves the display closed.
    virtual GfxResult Open(int width, int height, PixelFormat format, DisplayWindow* window,
                           std::uint32_t flags);
    // Frees the surface and the back buffer and leaves full screen. Answers 0.
    virtual GfxResult Close();
    // Nothing to realise on a true-colour screen: answers 0.
    virtual int QueryNewPalette();
    virtual int PaletteChanged();
    // Shows the whole back buffer at the window's top left, unscaled.
    virtual void Paint();
    // With a resizable back buffer: a new blank one of the new size with the
    // same format and palette.
    virtual void Size(int cx, int cy);

    bool IsOpen() const { return m_window != nullptr; }
    DisplayWindow* Window() const { return m_window; }
    WindowSurface* Screen() const { return m_screen.get(); }
    DibSurface* BackBuffer() const { return m_backBuffer.get(); }
    bool FullScreen() const { return m_fullScreen; }
    bool Resizable() const { return m_resizable; }
    bool PaletteManaged() const { return m_paletteManaged; }

  private:
    DisplayWindow* m_window = nullptr;
    std::unique_ptr<WindowSurface> m_screen;
    std::unique_ptr<DibSurface> m_backBuffer;
    bool m_fullScreen = false;
    bool m_resizable = false;
    bool m_paletteManaged = false;
};

}  // namespace tamboro::gfx
