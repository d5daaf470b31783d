#pragma once
// The splash picture (774) in a frameless window over the frame for one
// second; the first key press or mouse click anywhere in the program closes
// it early and is swallowed, so it has no other effect.
#include <QImage>
#include <QWidget>

namespace tamboro::app {

class SplashWindow final : public QWidget {
    Q_OBJECT
  public:
    // Shows the splash centred on `owner`; null (and nothing shown) when the
    // picture cannot be loaded.
    static SplashWindow* Show(QWidget* owner);
    ~SplashWindow() override;

    // How long the splash stays, in milliseconds.
    static constexpr int kShowMs = 1000;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    SplashWindow(QWidget* owner, QImage picture);
    void Dismiss();

    QImage m_picture;
    bool m_dismissed = false;
};

}  // namespace tamboro::app
