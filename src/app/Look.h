// The program's look: its fonts, a dark palette and the style sheet of its controls.
//
// The colours follow the waveform view: a dark blue-grey ground, green and red for the two
// channels, sky blue for what has been played, navy for the selection, cyan and yellow for the
// start and end markers.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QApplication;

namespace app {

namespace colors {
inline const QColor kGround{0x16, 0x1b, 0x22};     // window
inline const QColor kField{0x0b, 0x0f, 0x14};      // edit boxes, the view's plain background
inline const QColor kText{0xd6, 0xde, 0xe6};
inline const QColor kGreen{0, 255, 0};             // first channel
inline const QColor kRed{255, 0, 0};               // second channel
inline const QColor kSkyBlue{166, 202, 240};       // played
inline const QColor kNavy{0, 0, 128};              // selected
inline const QColor kCyan{0, 255, 255};            // start marker
inline const QColor kYellow{255, 255, 0};          // end marker
}  // namespace colors

// Tahoma where it is installed, else the closest sans-serif at hand (Liberation Sans has
// Tahoma-like widths; DejaVu Sans is wider), at a height in pixels.
QFont SansFont(int pixelSize);

// The narrowest good sans-serif at hand, for the long hint line above the view.
QFont NarrowFont(int pixelSize);

// The style sheet of the main window and its dialogs.
QString StyleSheet();

// The application-wide part: the Fusion style with a dark palette.
void ApplyLook(QApplication& application);

}  // namespace app
