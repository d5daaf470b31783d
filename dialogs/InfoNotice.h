#pragma once
// The information notice: a text with a check box "Non mostrare questo
// messaggio in futuro" that switches the notice off for good
// (INFORMATION/"<text id>" = 1). The caller shows it only while
// NoticeWanted(store, textId) holds; ShowNoticeIfWanted does both.
#include <QDialog>

#include "app/core/Preferences.h"

class QCheckBox;
class QLabel;

namespace tamboro::dialogs {

class InfoNotice final : public QDialog {
    Q_OBJECT
  public:
    InfoNotice(unsigned titleId, unsigned textId, app::SettingsStore& store, QWidget* parent);

    QCheckBox* DontShowAgain() const { return m_check; }
    QString Text() const;
    // OK: stores the check box's choice, then closes.
    void accept() override;

  private:
    unsigned m_textId;
    app::SettingsStore& m_store;
    QLabel* m_text = nullptr;
    QCheckBox* m_check = nullptr;
};

// Shows the notice modally unless it is switched off; answers whether it
// was shown.
bool ShowNoticeIfWanted(unsigned titleId, unsigned textId, app::SettingsStore& store,
                        QWidget* parent);

}  // namespace tamboro::dialogs
