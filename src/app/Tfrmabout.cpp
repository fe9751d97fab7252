#include "app/Tfrmabout.h"

#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "app/Hooks.h"
#include "app/ImageList.h"
#include "app/LinkLabel.h"
#include "app/Look.h"

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(at);
  label->adjustSize();
  return label;
}

QLabel* MakePicture(QWidget* parent, const char* name, const QPixmap& picture, QPoint at) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setPixmap(picture);
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(QRect(at, picture.size()));
  return label;
}

app::LinkLabel* MakeLink(QWidget* parent, const char* name, const QString& text, QPoint at) {
  auto* link = new app::LinkLabel(text, parent);
  link->setObjectName(QString::fromLatin1(name));
  QFont f = app::SansFont(13);
  f.setUnderline(true);
  link->setFont(f);
  link->move(at);
  link->adjustSize();
  return link;
}

}  // namespace

Tfrmabout::Tfrmabout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmabout"));
  setWindowTitle(QStringLiteral("About Ombrix Tonewright"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(app::SansFont(11));
  if (parent == nullptr) setStyleSheet(app::StyleSheet());

  Image2 = MakePicture(this, "Image2", app::DrawEmblem(), {16, 8});
  sLabelFX1 = MakeLabel(this, "sLabelFX1", QStringLiteral("Ombrix Tonewright"), {80, 8});
  QFont title = app::SansFont(16);
  title.setBold(true);
  sLabelFX1->setFont(title);
  sLabelFX1->adjustSize();
  sLabel1 = MakeLabel(this, "sLabel1", QStringLiteral("Version:1.00"), {80, 43});
  sLabel6 = MakeLabel(this, "sLabel6", QStringLiteral("\u00a9 2026 Ombrix Tonewright"), {81, 66});
  Image1 = MakePicture(this, "Image1", app::DrawRingingPhone(), {279, 34});
  sLabel3 = MakeLabel(this, "sLabel3",
                      QStringLiteral("Convert popular audio formats including WAV,MP3 WMA,OGG,APE,\n"
                                     "FLAC,WavPack,MPC,AAC,MP4 to iPhone Ringtong file M4R."),
                      {16, 91});
  sLabel7 = MakeLabel(this, "sLabel7", QStringLiteral("Official Site:"), {16, 161});
  Label8 = MakeLink(this, "Label8", QString::fromLatin1(app::kWebAddress), {81, 159});
  sLabel8 = MakeLabel(this, "sLabel8", QStringLiteral("Support:"), {16, 185});
  Label9 = MakeLink(this, "Label9", QString::fromLatin1(app::kSupportAddress), {80, 183});

  sButton1 = new QPushButton(QStringLiteral("&Ok"), this);
  sButton1->setObjectName(QStringLiteral("sButton1"));
  sButton1->setGeometry(286, 171, 65, 25);
  sButton1->setDefault(true);
  connect(sButton1, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });

  connect(Label8, &app::LinkLabel::clicked, this, &Tfrmabout::Label8Click);
  connect(Label9, &app::LinkLabel::clicked, this, &Tfrmabout::Label9Click);
}

void Tfrmabout::Label8Click() { app::hooks().openUrl(QUrl(QString::fromLatin1(app::kWebAddress))); }

void Tfrmabout::Label9Click() {
  app::hooks().openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(app::kSupportAddress)));
}
