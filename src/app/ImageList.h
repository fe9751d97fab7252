// The program's own pictures, drawn in code.
#pragma once

#include <QPixmap>

#include <vector>

namespace app {

// The image list of the main window: four 32 x 32 pictures, 0 convert, 1 play, 2 pause, 3 stop.
enum ImageIndex { kImageConvert = 0, kImagePlay = 1, kImagePause = 2, kImageStop = 3 };
std::vector<QPixmap> MakeImageList();

// The about box's pictures, 48 x 48 with transparency: the program's emblem (a waveform in a
// ring) and a phone ringing with a note.
QPixmap DrawEmblem();
QPixmap DrawRingingPhone();

}  // namespace app
