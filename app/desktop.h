// The desktop program: start-up of the windows and the message loop.
#pragma once

// Runs the desktop program; returns the process exit status.
int RunDesktop(int argc, char** argv);

// Creates the windows once, in this order, and sets their global references: the main window, the
// settings dialog, the audio format dialog, the recording window, the conversion window, the seek dialog and
// the selection dialog; plugs the user-interface hooks of the tasks layer (message pump, busy cursor) and
// the recording hooks of the conversion window. Needs a QApplication. Throws when a window cannot be made.
void CreateDesktopWindows();
// Destroys them in the opposite order and clears the references and hooks.
void DestroyDesktopWindows();
