// The program entry's work, shared by main.cpp and the start-up tests.
#pragma once

class QApplication;

namespace app {

// Sets the application's title and look, creates the main window (which runs its start-up) and
// runs the event loop until the window is closed. When start-up refuses the audio engine, returns
// 0 at once without showing the window. Returns the event loop's exit code otherwise.
int RunTonewright(QApplication& application);

}  // namespace app
