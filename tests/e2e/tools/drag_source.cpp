// A drag source for the window tests: a small window that, when a mouse button is pressed on it,
// starts a drag carrying one file URL, as a file manager does. The session script presses the
// button on it with real X input, moves the pointer onto the program's input box and releases it,
// so the program receives an ordinary XDND drop from another client.
//
// Usage: tw_drag_source FILE [X Y]
//   FILE  the file the drag carries (as a file:// URL, made absolute)
//   X Y   where to place the window on the screen (default 20 20)
//
// The window is titled "tw drag source". When the drag ends, the program prints one line,
// "drag: copy", "drag: link", "drag: move" or "drag: ignored", and stays up a while longer to serve
// the dropped data (the target asks for it after the drop); it then exits with 0 when the target
// took the drop, 1 when nobody did, 2 for a wrong command line.
#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

// How long the source serves the dropped data after the drop (ms).
constexpr int kLinger = 15000;

const char* ActionName(Qt::DropAction action) {
  switch (action) {
    case Qt::CopyAction: return "copy";
    case Qt::LinkAction: return "link";
    case Qt::MoveAction: return "move";
    default: return "ignored";
  }
}

class DragSource : public QWidget {
 public:
  explicit DragSource(const QString& file) : file_(file) {
    setWindowTitle(QStringLiteral("tw drag source"));
    setFixedSize(120, 60);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(255, 0, 255));
    painter.drawText(rect(), Qt::AlignCenter, QFileInfo(file_).fileName());
  }

  void mousePressEvent(QMouseEvent*) override {
    if (started_) return;
    started_ = true;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QFileInfo(file_).absoluteFilePath())});
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
    std::printf("drag: %s\n", ActionName(action));
    std::fflush(stdout);
    // The target fetches the dragged data from this client after the drop, so it has to stay up
    // for a while: it ends after a quiet time, or earlier when it is sent SIGTERM.
    const int code = action == Qt::IgnoreAction ? 1 : 0;
    QTimer::singleShot(kLinger, qApp, [code] { QApplication::exit(code); });
  }

 private:
  QString file_;
  bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() != 2 && args.size() != 4) {
    std::fprintf(stderr, "usage: tw_drag_source FILE [X Y]\n");
    return 2;
  }
  int x = 20, y = 20;
  if (args.size() == 4) {
    bool okX = false, okY = false;
    x = args[2].toInt(&okX);
    y = args[3].toInt(&okY);
    if (!okX || !okY) {
      std::fprintf(stderr, "tw_drag_source: X and Y must be numbers\n");
      return 2;
    }
  }
  DragSource window(args[1]);
  window.move(x, y);
  window.show();
  return QApplication::exec();
}
