#pragma once
// "A proposito di Tamboro": the program's icon, its name and version, a
// button that opens the maker's web page and "Chiudi".
#include <QDialog>

namespace tamboro::dialogs {

inline constexpr const char* kMakerWebPage = "https://tamboro.example.org/";

class AboutBox final : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent);
};

}  // namespace tamboro::dialogs
