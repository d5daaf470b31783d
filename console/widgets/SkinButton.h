#pragma once
// The picture button of the consoles and the dialogs: four pictures (up,
// down, focus, disabled; any may be missing), drawn 1:1 at the button's
// whole-factor scale, never stretched or smoothed, and a cursor of its own.
// Nothing under the button is erased: the picture covers it.
//
// User-interface thread only.
#include <QAbstractButton>
#include <QImage>
#include <array>
#include <string_view>

namespace tamboro::console {

class SkinButton : public QAbstractButton {
    Q_OBJECT
  public:
    enum State { Up = 0, Down, Focus, Disabled };

    explicit SkinButton(QWidget* parent = nullptr);
    ~SkinButton() override;

    // Drops the four pictures and loads each one named (empty names load
    // nothing). False when the up picture is missing or a named one cannot
    // be loaded; the pictures that did load are kept. With `keyTransparent`
    // the transparent index lets what is behind the button show through
    // (the dialogs' rounded buttons over their texture).
    bool SetImages(std::string_view up, std::string_view down, std::string_view focus = {},
                   std::string_view disabled = {}, bool keyTransparent = false);
    // The dialogs' form: the button's text T names the pictures T + "U",
    // T + "D", T + "F" and T + "X"; missing ones stay empty. When the up
    // picture exists the button takes its size (times the scale) in place.
    // Answers whether the up picture exists.
    bool SetImagesFromText();
    // Whole magnification 1..4; the size follows the up picture.
    void SetScale(int scale);
    int Scale() const { return m_scale; }

    const QImage& Image(State s) const { return m_images[s]; }
    // The picture the button shows in its present state.
    State ShownState() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void FitToPicture();

    std::array<QImage, 4> m_images;
    int m_scale = 1;
};

}  // namespace tamboro::console
