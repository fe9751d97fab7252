#include "app/Look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QStringList>
#include <QStyleFactory>

namespace app {

namespace {

QString FirstFamily(const QStringList& wanted) {
  const QStringList present = QFontDatabase::families();
  for (const QString& family : wanted) {
    if (present.contains(family, Qt::CaseInsensitive)) return family;
  }
  return QStringLiteral("Sans Serif");
}

QString Css(const QColor& c) { return c.name(QColor::HexRgb); }

}  // namespace

QFont SansFont(int pixelSize) {
  QFont font(FirstFamily({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")}));
  font.setPixelSize(pixelSize);
  return font;
}

QFont NarrowFont(int pixelSize) {
  QFont font(FirstFamily({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans Narrow"),
                          QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("DejaVu Sans")}));
  font.setPixelSize(pixelSize);
  return font;
}

QString StyleSheet() {
  using namespace colors;
  QString css = QStringLiteral(R"(
QWidget { color: @text; font-family: "@sans"; font-size: 11px; }
Tfrmmain, Tfrmabout { background: @ground; }
QLabel { background: transparent; }
Tfrmmain QLabel#sLabelFX1 { color: #f4f8fb; font-family: "@narrow"; font-size: 16px; }
Tfrmabout QLabel#sLabelFX1 { color: #f4f8fb; font-size: 16px; font-weight: bold; }
QGroupBox {
  border: 1px solid #2b3847; border-radius: 5px; margin-top: 0px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #1b222b, stop:1 #141a21);
}
QLineEdit {
  background: @field; border: 1px solid #2f3e4e; border-radius: 3px;
  padding: 1px 4px; color: @sky; selection-background-color: @navy;
}
QLineEdit:focus { border-color: #3fb8c8; }
QLineEdit:read-only { color: #b7cadb; }
QLineEdit#lengthedit { color: @yellow; }
QLineEdit#lengthedit[phoneFit="phone"] { color: #1b1200; background: #f0a830; border-color: #ffc860; }
QLineEdit#lengthedit[phoneFit="sync"] { color: #ffffff; background: #c0282d; border-color: #ff6a6a; }
QAbstractSpinBox { color: @sky; }
app--ButtonSpinEdit#sedit { color: @cyan; }
app--ButtonSpinEdit#eedit { color: @yellow; }
QPushButton, QToolButton {
  color: @text; border: 1px solid #3a4b5e; border-radius: 4px; padding: 3px 8px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2a3644, stop:1 #1b232d);
}
QPushButton:hover, QToolButton:hover { border-color: @sky; }
QPushButton:pressed, QToolButton:pressed { background: @navy; border-color: @cyan; }
QPushButton:disabled, QToolButton:disabled { color: #5b6875; border-color: #28323d; background: #1a2028; }
QToolButton { padding: 1px; }
QPushButton#btnconvert {
  font-weight: bold; border: 1px solid #1f9a3a; text-align: left; padding-left: 10px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #22452c, stop:1 #152a1c);
}
QPushButton#btnconvert:hover { border-color: @green; }
QPushButton#btnconvert:disabled { color: #5b6875; border-color: #28323d; background: #1a2028; }
QCheckBox { spacing: 5px; background: transparent; }
QCheckBox::indicator {
  width: 11px; height: 11px; border: 1px solid #4a5d70; border-radius: 2px; background: @field;
}
QCheckBox::indicator:hover { border-color: @sky; }
QCheckBox::indicator:checked { background: #19c219; border-color: @green; }
QSlider::groove:horizontal { height: 4px; background: @field; border: 1px solid #2f3e4e; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #1f7a2f; border-radius: 2px; }
QSlider::handle:horizontal {
  width: 9px; margin: -6px 0; border-radius: 3px; border: 1px solid #6f8aa6; background: @sky;
}
QSlider::handle:horizontal:hover { background: @cyan; }
QProgressBar {
  background: @field; border: 1px solid #2f3e4e; border-radius: 3px; text-align: center; color: @text;
}
QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0f8f0f, stop:1 #7fd000); }
QToolTip { background: #0d1218; color: @yellow; border: 1px solid #3fb8c8; padding: 2px; }
app--LinkLabel { color: #4fa3ff; font-size: 13px; text-decoration: underline; }
)");
  css.replace(QStringLiteral("@sans"), SansFont(11).family());
  css.replace(QStringLiteral("@narrow"), NarrowFont(16).family());
  css.replace(QStringLiteral("@ground"), Css(kGround));
  css.replace(QStringLiteral("@field"), Css(kField));
  css.replace(QStringLiteral("@text"), Css(kText));
  css.replace(QStringLiteral("@green"), Css(kGreen));
  css.replace(QStringLiteral("@sky"), Css(kSkyBlue));
  css.replace(QStringLiteral("@navy"), Css(kNavy));
  css.replace(QStringLiteral("@cyan"), Css(kCyan));
  css.replace(QStringLiteral("@yellow"), Css(kYellow));
  return css;
}

void ApplyLook(QApplication& application) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);
  QPalette p;
  p.setColor(QPalette::Window, colors::kGround);
  p.setColor(QPalette::WindowText, colors::kText);
  p.setColor(QPalette::Base, colors::kField);
  p.setColor(QPalette::AlternateBase, colors::kGround);
  p.setColor(QPalette::Text, colors::kText);
  p.setColor(QPalette::Button, QColor(0x24, 0x2e, 0x3a));
  p.setColor(QPalette::ButtonText, colors::kText);
  p.setColor(QPalette::Highlight, colors::kNavy);
  p.setColor(QPalette::HighlightedText, colors::kText);
  p.setColor(QPalette::ToolTipBase, colors::kField);
  p.setColor(QPalette::ToolTipText, colors::kYellow);
  p.setColor(QPalette::Link, QColor(0x4f, 0xa3, 0xff));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x5b, 0x68, 0x75));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x5b, 0x68, 0x75));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x5b, 0x68, 0x75));
  application.setPalette(p);
}

}  // namespace app
