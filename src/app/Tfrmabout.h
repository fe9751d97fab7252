// The about box: the program's name, version, maker, what it converts, and two links.
//
// Created when it is asked for, shown modally and freed when it closes (Tfrmmain::btnaboutClick).
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace app {
class LinkLabel;
}

class Tfrmabout : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 359;
  static constexpr int kClientHeight = 212;

  explicit Tfrmabout(QWidget* parent = nullptr);

  QLabel* Image2 = nullptr;
  QLabel* sLabelFX1 = nullptr;
  QLabel* sLabel1 = nullptr;
  QLabel* sLabel6 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* sLabel3 = nullptr;
  QLabel* sLabel7 = nullptr;
  app::LinkLabel* Label8 = nullptr;
  QLabel* sLabel8 = nullptr;
  app::LinkLabel* Label9 = nullptr;
  QPushButton* sButton1 = nullptr;

  // The official site, in the desktop's browser.
  void Label8Click();
  // A mail to the support address, in the desktop's mail program.
  void Label9Click();
};

namespace app {
inline constexpr const char* kWebAddress = "https://www.tonewright.example/";
inline constexpr const char* kSupportAddress = "support@tonewright.example";
}  // namespace app
