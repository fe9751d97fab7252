#include "app/ButtonSpinEdit.h"

#include <QLineEdit>

namespace app {

ButtonSpinEdit::ButtonSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  lineEdit()->setReadOnly(true);
  setAccelerated(false);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setValue(0);
}

int ButtonSpinEdit::value() const {
  bool ok = false;
  const int shown = lineEdit()->text().trimmed().toInt(&ok);
  return ok ? shown : minimum_;
}

int ButtonSpinEdit::Limited(int value) const {
  if (minimum_ == maximum_) return value;
  if (value < minimum_) return minimum_;
  if (value > maximum_) return maximum_;
  return value;
}

void ButtonSpinEdit::setValue(int value) { lineEdit()->setText(QString::number(Limited(value))); }

void ButtonSpinEdit::setRange(int minimum, int maximum) {
  setMinimum(minimum);
  setMaximum(maximum);
}

void ButtonSpinEdit::stepBy(int steps) {
  // Each step is one click of a spin button; the handlers decide what it means.
  for (; steps > 0; --steps) emit upClicked();
  for (; steps < 0; ++steps) emit downClicked();
}

QAbstractSpinBox::StepEnabled ButtonSpinEdit::stepEnabled() const {
  // Both buttons always call their handlers; a handler refuses a step it does not allow.
  return StepUpEnabled | StepDownEnabled;
}

}  // namespace app
