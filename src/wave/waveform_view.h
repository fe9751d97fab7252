// Composing the waveform view: background, mirrored bars per column, the start, end and play
// markers with their time labels, all drawn into the off-screen 32-bit picture.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "wave/peak_buffers.h"
#include "wave/song_map.h"
#include "wave/view_span.h"

namespace wave {

namespace colors {
inline constexpr QRgb kLeft = 0xFF00FF00;      // first channel: green
inline constexpr QRgb kRight = 0xFFFF0000;     // second channel: red
inline constexpr QRgb kPlayed = 0xFFA6CAF0;    // played column: sky blue
inline constexpr QRgb kSelected = 0xFF000080;  // selected column: navy
inline constexpr QRgb kSparkle = 0xFFFFFFFF;   // each bar's tip
inline constexpr QRgb kStart = 0xFF00FFFF;     // start marker: cyan
inline constexpr QRgb kEnd = 0xFFFFFF00;       // end marker: yellow
inline constexpr QRgb kPlay = 0xFFFFFFFF;      // play marker: white
}  // namespace colors

// Marker rows: the label's top row, and which marker it is.
inline constexpr int kPlayRow = 0;
inline constexpr int kStartRow = 12;
inline constexpr int kEndRow = 24;

// "m:ss" of whole seconds: minutes neither limited nor padded (3725 gives 62:05).
QString TimeText(int64_t seconds);

// The label of a marker: "Play:", "Start:" or "End:" by its row, then the time.
QString MarkerLabel(int row, int64_t seconds);

// What one refresh reads. The view copies these at the start of a refresh.
struct ViewState {
  uint32_t bytesPerPixel = 0;
  int64_t selStart = 0;
  int64_t selEnd = 0;
  ViewSpan span;  // the stretch shown; none: the whole song at bytesPerPixel
  ViewSpan Span() const { return span.empty() ? ViewSpan(bytesPerPixel) : span; }
};

class WaveformView {
 public:
  // `waveBitmap` is composed in place (32 bits per pixel); `background` is copied at its own
  // size; `clientWidth` is the window's client width (the label placement uses it).
  // `bytesToSeconds` converts a byte position of the preview stream (negative when it cannot).
  WaveformView(QImage* waveBitmap, const PeakBuffers* peaks, int clientWidth,
               std::function<double(int64_t)> bytesToSeconds);

  void setBackground(const QImage& background);
  // The font of the labels: the default sans-serif, bold.
  void setLabelFont(const QFont& font) { labelFont_ = font; }
  const QFont& labelFont() const { return labelFont_; }

  // The column of the play position, as the last marker drawn left it; Stop and opening another
  // file set it to 0.
  int32_t playColumn() const { return playColumn_; }
  void setPlayColumn(int32_t column) { playColumn_ = column; }

  // The song's map drawn under the waveform from now on (an empty one draws nothing), its times
  // placed with `bytesPerSecond` of the preview stream.
  void setSongMap(SongMap map, double bytesPerSecond) {
    map_ = std::move(map);
    bytesPerSecond_ = bytesPerSecond;
  }
  const SongMap& songMap() const { return map_; }
  double bytesPerSecond() const { return bytesPerSecond_; }

  // Rows of the section band, at the view's foot.
  static constexpr int kBandRows = 5;

  // One refresh of the timer: the waveform, the start, end and play markers.
  void Refresh(const ViewState& state, int64_t playPosition);

  void DrawWaveform(const ViewState& state);
  // Beat ticks, bar lines and the section band, over the background and under the waveform.
  void DrawSongMap(const ViewState& state);
  QRgb ColumnColor(int32_t column, bool firstChannel, const ViewState& state) const;
  void DrawMarker(int row, QRgb color, int64_t position, const ViewState& state);

  // The left edge of a marker's label for a marker in column x.
  int LabelLeft(int32_t x) const;

 private:
  // The bar heights of the columns the span shows into heights_: the scan's own columns for the
  // whole song, else the highest of the readings that begin in each column.
  void ColumnHeights(const ViewSpan& span);
  void VerticalRun(int x, int from, int towards, QRgb color);
  void Pixel(int x, int y, QRgb color);
  // `color` laid over the pixel with `alpha` of 255.
  void Blend(int x, int y, QRgb color, int alpha);

  QImage* bitmap_;
  const PeakBuffers* peaks_;
  int clientWidth_;
  std::function<double(int64_t)> bytesToSeconds_;
  QImage background_;
  QFont labelFont_;
  int32_t playColumn_ = 0;
  SongMap map_;
  double bytesPerSecond_ = 0;
  std::minstd_rand random_{20261209u};
  std::vector<int16_t> heightsLeft_, heightsRight_;
};

}  // namespace wave
