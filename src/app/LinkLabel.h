// A label that acts as a link: blue, underlined, a hand cursor, and clicked() on a left click.
#pragma once

#include <QLabel>

namespace app {

class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace app
