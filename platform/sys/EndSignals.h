// The signals that end the program: caught so that it ends in order, as File > Exit ends it.
#pragma once

namespace qvx::sys {

// A write beyond the process's file-size limit then fails like one on a full disk
// (EFBIG), told and cleaned up, instead of the signal ending the program at once.
void IgnoreFileSizeSignal();

// Ctrl+C, a closed terminal and kill (SIGINT, SIGHUP, SIGTERM) ask the program to end. From
// this call on, the first of them writes one byte to the descriptor returned, for the
// event loop to read and end the program in order. The same signal again ends it at once,
// by that signal's default action; another of the three is taken as the same request (a
// start script's TERM on the Ctrl+C that reached the program as well). A signal the
// program was started with ignored (SIGINT of a job started in the background, SIGHUP
// under nohup) stays ignored. -1 when no pipe could be made: the signals then keep their
// default action.
int CatchEndSignals();
// The signal that asked the program to end; 0 while none has.
int EndSignal();
// Ends the program by the signal's default action, as if it had never been caught, so
// that whoever started it sees what ended it.
[[noreturn]] void EndBySignal(int sig);

}  // namespace qvx::sys
