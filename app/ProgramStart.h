// The program's start routine: settings, connection, company information and the main
// window.
#pragma once

namespace qvx {

// Runs the start-up sequence and shows the main window; the caller then runs the
// event loop.
void Main();

}  // namespace qvx
