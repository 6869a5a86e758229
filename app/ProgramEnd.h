// The program's end when a signal asks for it: Ctrl+C in the terminal that started it,
// the terminal closed, a logout or kill.
#pragma once

namespace qvx {

// From this call on, SIGINT, SIGTERM and SIGHUP end the program as its Exit command does:
// a running report is stopped with its output abandoned, the boxes and dialogs open are
// closed, and the settings file and the data-set file are written before the event loop
// ends. The copies of one stop (a closed terminal's two hang-ups, a group's TERM and a
// start script's) end it once; a signal sent again after a moment ends it at once, though
// never in the middle of writing a file. At the date-format question the signal answers
// No, which ends the program writing nothing.
void EndOnSignals();

}  // namespace qvx
