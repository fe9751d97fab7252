// The view's zoom in the window. The mouse wheel zooms around the pointer and Shift+wheel pans;
// Ctrl++ (or Ctrl+=) and Ctrl+- zoom around the view's centre, Ctrl+0 shows the whole song again
// and Z, with the view focused, fits the marked part. The thin strip under the view (`zoomstrip`)
// pans; a double-click on it shows the whole song, and its menu offers both fits. Over the section
// band the view's hint says how often the section under the pointer is heard.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

#include "wave/peak_buffers.h"
#include "wave/view_span.h"
#include "wave/waveform_view.h"

class QScrollBar;
class QWidget;

namespace app {

class PaintBox;

class ViewZoom : public QObject {
  Q_OBJECT

 public:
  // What the zoom reads of the window: the scan's readings and column scale, and the view with its
  // map. All of them outlive the zoom.
  ViewZoom(const wave::PeakBuffers& peaks, const std::atomic<uint32_t>& bytesPerPixel,
           const std::unique_ptr<wave::WaveformView>& view)
      : peaks_(peaks), bytesPerPixel_(bytesPerPixel), view_(view) {}

  // The strip at `strip` in `window`, the keys, and the mouse wheel and hint of `view`.
  void CreateControls(QWidget* window, PaintBox* view, QRect strip);

  // The stretch the view shows: the whole open song until zoomed; none without a file. GUI thread,
  // as is everything here.
  const wave::ViewSpan& Span();
  // Another file: its whole song, from the next refresh.
  void Reset();
  void ZoomAround(int x, double factor);
  void PanBy(int columns);
  // The marked part, with a little on each side; nothing while a bound is not set.
  void ZoomToPart();
  void ShowWhole();
  // The hint at column x of the section band: how often its section is heard; empty where the
  // band has no section.
  QString BandHint(int x);

  QScrollBar* zoomstrip = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The strip follows the span.
  void ShowSpan();

  const wave::PeakBuffers& peaks_;
  const std::atomic<uint32_t>& bytesPerPixel_;
  const std::unique_ptr<wave::WaveformView>& view_;
  PaintBox* box_ = nullptr;
  wave::ViewSpan span_;
};

}  // namespace app
