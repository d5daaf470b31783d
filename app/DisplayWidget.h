#pragma once
// The window output of the graphics library on a Qt widget: the widget is
// the `gfx::DisplayWindow` of a `gfx::Display`, and shows the display's
// back buffer (8-bit with its colour table, or true colour) magnified by a
// whole factor, every back-buffer pixel a k x k block. Presented pictures
// are kept in an RGB copy of the client area, so a repaint of the widget
// never goes back to the back buffer.
//
// User-interface thread only.
#include <QImage>
#include <QWidget>
#include <memory>

#include "gfx/Display.h"

namespace tamboro::app {

class DisplayWidget : public QWidget, public gfx::DisplayWindow {
    Q_OBJECT
  public:
    explicit DisplayWidget(QWidget* parent = nullptr);
    ~DisplayWidget() override;

    // Opens the display with a back buffer of the given size and format and
    // sizes the widget to it times the scale. Answers the display's result.
    gfx::GfxResult OpenDisplay(int width, int height, gfx::PixelFormat format,
                               std::uint32_t flags = 0);
    gfx::Display& Display() { return *m_display; }
    gfx::DibSurface* BackBuffer() const { return m_display->BackBuffer(); }

    // Whole magnification, 1..4; the widget's size follows.
    void SetScale(int scale);
    int Scale() const { return m_scale; }

    // Shows the whole back buffer now (Display::Paint), or only `dirty`
    // (back-buffer coordinates).
    void ShowBackBuffer();
    void ShowBackBuffer(const QRect& dirty);
    // What the widget shows, at its own size.
    const QImage& Picture() const { return m_picture; }

    // gfx::DisplayWindow
    int ClientWidth() const override { return width(); }
    int ClientHeight() const override { return height(); }
    int ScreenBits() const override { return 32; }
    void Present(const gfx::DrawContext& pixels, int dx, int dy, int dw, int dh, int sx, int sy,
                 int sw, int sh) override;
    void Fill(int x, int y, int w, int h, std::uint32_t colour) override;
    void Invalidate() override { update(); }
    bool SetFullScreen(bool on) override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitToBackBuffer();

    std::unique_ptr<gfx::Display> m_display;
    QImage m_picture;
    int m_scale = 1;
};

}  // namespace tamboro::app
