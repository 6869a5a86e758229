// The signals that end the program: caught so that it ends in order, as File > Exit ends it.
#pragma once

// The signal taken first (EndSignal) is kept there, with whether the end has begun.
#include "platform/sys/ProgramEnding.h"

namespace qvx::sys {

// A write beyond the process's file-size limit then fails like one on a full disk
// (EFBIG), told and cleaned up, instead of the signal ending the program at once.
void IgnoreFileSizeSignal();

// Takes the descriptor that QVX_END_NOTICE_FD names, when it names a pipe above 2: the first
// end signal caught writes its number there as one byte, so that the program's start script
// knows that the program got the signal itself and sends it none. The descriptor is closed on exec and the variable leaves the
// environment, so that nothing the program starts inherits either. Called first thing,
// before any thread reads the environment.
void TakeEndNotice();

// Ctrl+C, a closed terminal and kill (SIGINT, SIGHUP, SIGTERM) ask the program to end. From
// this call on, the first of them writes one byte to the descriptor returned, for the
// event loop to read and end the program in order, and one to the end notice (above).
// One stop often sends several: a closed terminal's hang-up and its shell's, a group's
// TERM and a start script's, each a millisecond or so after the first. So any of the three
// within kInsistAfterMs of the first is taken as the same request. One that comes later is
// the user insisting (a second Ctrl+C on a program slow to end): it ends the program at
// once by its default action, or, while a write that must not be cut short is under way
// (EndAfterWrite), as soon as that write is done. A signal the program was started with
// ignored (SIGINT of a job started in the background, SIGHUP under nohup) stays ignored.
// -1 when no pipe could be made: the signals then keep their default action.
int CatchEndSignals();
// Far beyond how far apart the system delivers the copies of one stop (within milliseconds
// even on a busy machine), and as soon as a user can see that the program has not ended.
inline constexpr int kInsistAfterMs = 400;
// The line (ending in a newline) that an insisting signal writes to the standard error as
// it ends the program at once, so that the user knows what was lost; nullptr: none. The
// text must last as long as the program.
void SayWhenEndedAtOnce(const char* line);
// Ends the program by the signal's default action, as if it had never been caught, so
// that whoever started it sees what ended it.
[[noreturn]] void EndBySignal(int sig);

// While an object of this class lives, an end signal that insists waits: a file being
// written is written whole and put in place before the program ends, and nothing is left
// half-made beside it. When one came meanwhile, the last of these objects to end ends the
// program by that signal.
class EndAfterWrite {
 public:
  EndAfterWrite();
  ~EndAfterWrite();
  EndAfterWrite(const EndAfterWrite&) = delete;
  EndAfterWrite& operator=(const EndAfterWrite&) = delete;
};

}  // namespace qvx::sys
