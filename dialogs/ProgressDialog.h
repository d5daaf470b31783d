#pragma once
// The modeless progress dialog shown while songs are loaded, saved,
// rendered or converted: a bar, the percentage and a line of text, on the
// caller's background texture, with a Cancel button. While it is up its
// owner window takes no input.
//
// SetPos keeps the program responsive: it first runs every pending event of
// the thread. Work on a worker thread reports through Report(), which any
// thread may call; the dialog shows the latest report.
//
// User-interface thread only, except Report and Cancelled.
#include <QDialog>
#include <QImage>
#include <QPointer>
#include <atomic>
#include <mutex>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tamboro::gfx {
class Image;
}

namespace tamboro::dialogs {

class ProgressDialog final : public QDialog {
    Q_OBJECT
  public:
    // Title string `titleId` (139 when 0), the caller's background picture
    // (may be null).
    ProgressDialog(unsigned titleId, gfx::Image* background, QWidget* owner);
    ~ProgressDialog() override;

    // Disables the owner when it is enabled (remembering that) and shows
    // the dialog without waiting.
    void Show();
    // Sets the message line.
    void SetText(const QString& text);
    // Runs pending events, then shows `pos` of lower..upper as a percentage
    // (see ProgressPercent) and on the bar.
    void SetPos(int pos);
    void SetRange(int lower, int upper);
    // Gives the owner back its input and hides the dialog.
    void Close();

    // The engine's progress callback: (phase, channel, percent) as text
    // 140/141/142 and position. Any thread: from a worker the report waits
    // for Pump().
    void Report(int phase, int channel, int percent);
    // Shows the latest report from a worker. User-interface thread.
    void Pump();

    // Whether the user pressed Cancel (or Escape). Any thread.
    bool Cancelled() const { return m_cancelled.load(); }

    QString PercentText() const;
    QString Text() const;
    int BarValue() const;
    QPushButton* CancelButton() const { return m_cancel; }

  signals:
    void cancelRequested();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void reject() override;

  private:
    void onCancelClicked();

    QProgressBar* m_bar = nullptr;
    QLabel* m_percent = nullptr;
    QLabel* m_text = nullptr;
    QPushButton* m_cancel = nullptr;
    QImage m_background;
    QPointer<QWidget> m_owner;
    bool m_ownerDisabled = false;
    int m_lower = 0;
    int m_upper = 100;
    std::atomic<bool> m_cancelled{false};
    std::mutex m_reportMutex;
    struct Pending {
        bool fresh = false;
        int phase = 0, channel = 0, percent = 0;
    } m_pending;
};

}  // namespace tamboro::dialogs
