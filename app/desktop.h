// The desktop program: start-up of the windows and the message loop.
#pragma once

// Runs the desktop program; returns the process exit status.
int RunDesktop(int argc, char** argv);
