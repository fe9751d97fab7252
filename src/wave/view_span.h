// Which stretch of the song the view shows: the byte of its first column and the bytes each
// column stands for, from the whole song (the scan's column scale) down to one 20-ms reading a
// column; zooming around a column, panning, fitting a part, and the column of a byte or a time.
// Plain data and functions.
#pragma once

#include <cstdint>

namespace wave {

class ViewSpan {
 public:
  // No file: nothing to show.
  ViewSpan() = default;
  // The whole song at the scan's scale, with no room to zoom: column x starts at byte
  // x × bytesPerPixel. A scale of 0 is no span.
  ViewSpan(uint32_t bytesPerPixel);  // NOLINT(google-explicit-constructor): the whole-song scale
  // The whole song of `length` bytes in a view of `columns` columns at the scan's scale; zooming
  // goes no deeper than `deepest` bytes a column (one reading), nor shallower than the whole song.
  ViewSpan(int64_t length, uint32_t bytesPerPixel, int64_t deepest, int columns);

  bool empty() const { return bytesPerColumn_ <= 0; }
  // The whole song, as the scan's columns draw it.
  bool whole() const { return bytesPerColumn_ == whole_ && first_ == 0; }
  bool deepest() const { return bytesPerColumn_ <= deepest_; }
  int64_t first() const { return first_; }
  int64_t bytesPerColumn() const { return bytesPerColumn_; }
  int columns() const { return columns_; }
  // The furthest the first column can go: the song's end on the last column.
  int64_t lastFirst() const;

  // The column that holds byte `position`; negative left of the view, at or past columns() right
  // of it. A column of 0 without a scale.
  int32_t ColumnOf(int64_t position) const;
  // The first byte of column x.
  int64_t PositionOf(int x) const { return first_ + static_cast<int64_t>(x) * bytesPerColumn_; }
  // The same in seconds of a stream of `bytesPerSecond`.
  int32_t ColumnOfSeconds(double seconds, double bytesPerSecond) const;
  double SecondsOf(int x, double bytesPerSecond) const;

  // Zooms in by `factor` (out for a factor below 1) keeping the byte under column x in column x,
  // within the limits; the view's centre for x = columns() / 2.
  void ZoomAround(int x, double factor);
  // Moves the view by `columns` columns (negative: towards the start), or to a first byte; kept
  // within the song.
  void PanBy(int columns) { PanTo(first_ + static_cast<int64_t>(columns) * bytesPerColumn_); }
  void PanTo(int64_t first);
  // Shows the bytes [from, to] (either order) with a twentieth of their length on each side,
  // centred; no deeper than the limit, so a short part sits in the middle of a wider view.
  void Fit(int64_t from, int64_t to);
  void ShowWhole();

 private:
  int64_t length_ = 0;
  int64_t whole_ = 0;    // bytes a column of the whole song
  int64_t deepest_ = 0;  // bytes a column at the deepest zoom
  int columns_ = 0;
  int64_t first_ = 0;
  int64_t bytesPerColumn_ = 0;
};

}  // namespace wave
