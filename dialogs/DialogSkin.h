#pragma once
// The look the program's own dialogs share: the frame's background texture
// behind everything, push buttons made from the GBUTTON pictures with their
// caption drawn on top, and edits and static texts green on black (green on
// grey when disabled). Return presses the focused or the default button;
// Escape cancels.
#include <QDialog>
#include <QImage>
#include <QString>

#include "console/widgets/SkinButton.h"

namespace tamboro::gfx {
class Image;
}

namespace tamboro::dialogs {

// A string of the table as a Qt string.
QString Str(unsigned id);
// A filter of the string table ("Name|*.a; *.b|...||") in Qt's form.
QString QtFilter(unsigned id);

// A dialog push button: GBUTTONU/D/F/X with the caption ("&" marks the
// mnemonic) drawn on top.
class DialogButton final : public console::SkinButton {
    Q_OBJECT
  public:
    DialogButton(const QString& caption, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class SkinnedDialog : public QDialog {
    Q_OBJECT
  public:
    // `background` may be null (plain black).
    SkinnedDialog(gfx::Image* background, QWidget* parent);

    // A skinned button; the first one made with `isDefault` answers Return.
    DialogButton* AddButton(const QString& caption, bool isDefault = false);
    DialogButton* DefaultButton() const { return m_default; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QImage m_background;
    DialogButton* m_default = nullptr;
};

// Green on black (grey when disabled) for the edits, labels and boxes
// inside `widget`.
void ApplyGreenOnBlack(QWidget* widget);

}  // namespace tamboro::dialogs
