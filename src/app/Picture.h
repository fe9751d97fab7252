// Loading a picture file such as the waveform background "back.bmp".
#pragma once

#include <QImage>
#include <QString>

namespace app {

// Reads the picture at `path` at its own size, in 32-bit RGB. On failure returns false, leaves
// `picture` as it was and puts a message naming the file and the reason in `message`.
bool LoadPicture(const QString& path, QImage& picture, QString& message);

}  // namespace app
