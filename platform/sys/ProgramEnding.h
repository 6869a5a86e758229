// Whether the program's end has begun, and the signal that asked for it: asked wherever
// something would otherwise be shown or started that outlives the end (a box, a window, the
// help, another program), and by whatever ends the program, which gives that signal's
// status. Kept below the window layer, so that what only asks needs nothing of it.
#pragma once

namespace qvx::sys {

// From this call on the end has begun: the window layer calls it as it closes every box
// and dialog open.
void BeginProgramEnding();
bool ProgramEnding();

// The signal that asked the program to end; 0 while none has.
int EndSignal();
// Takes `sig` as the signal that asked the program to end when none has yet; whether it
// did. Safe in a signal handler.
bool TakeEndSignal(int sig);

// Neither begun nor asked for: a new start (a test's).
void ForgetProgramEnding();

}  // namespace qvx::sys
