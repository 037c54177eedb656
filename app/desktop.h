// The desktop program: start-up of the windows and the message loop.
#pragma once

#include <string>

// Runs the desktop program; returns the process exit status. Arguments that name movies are added to the task
// list once the window shows. Without a display to show it on, says so (pointing to `tolvikan convert`) and
// returns 1.
int RunDesktop(int argc, char** argv);

// Whether a command-line argument names a movie file the desktop program can take (.swf or .exe that exists).
bool IsMovieArgument(const std::string& argument);

// Why no window can be shown: "" when a display is at hand. environment: the variable's value or nullptr.
std::string MissingDisplayReason(const char* qpaPlatform, const char* display, const char* waylandDisplay);

// Creates the windows once, in this order, and sets their global references: the main window, the
// settings dialog, the audio format dialog, the recording window, the conversion window, the seek dialog and
// the selection dialog; plugs the user-interface hooks of the tasks layer (message pump, busy cursor) and
// the recording hooks of the conversion window. Needs a QApplication. Throws when a window cannot be made.
void CreateDesktopWindows();
// Destroys them in the opposite order and clears the references and hooks.
void DestroyDesktopWindows();
