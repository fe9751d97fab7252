// An integer spin edit that only its program changes ("buttons only").
//
// The text cannot be typed into. The up and down buttons, the arrow keys, Page Up / Page Down
// and the mouse wheel do not step the value: each step only emits upClicked() or downClicked()
// (one signal per step), and the shown value changes only when the program calls setValue().
// setValue() shows the nearest limit for a value outside minimum..maximum, except that equal
// limits (the initial 0..0) limit nothing. Changing a limit leaves the shown value alone.
// value() reads the shown text; a text that is not a whole number reads as the minimum.
#pragma once

#include <QAbstractSpinBox>

namespace app {

class ButtonSpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit ButtonSpinEdit(QWidget* parent = nullptr);

  int value() const;
  void setValue(int value);

  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  void setMinimum(int minimum) { minimum_ = minimum; }
  void setMaximum(int maximum) { maximum_ = maximum; }
  void setRange(int minimum, int maximum);

  // The value setValue() would show.
  int Limited(int value) const;

  void stepBy(int steps) override;

 signals:
  void upClicked();
  void downClicked();

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int minimum_ = 0;
  int maximum_ = 0;
};

}  // namespace app
