// The program's start routine and the small routines of its module.
#pragma once

namespace qvx {

// Runs the start-up sequence and shows the main window; the caller then runs the
// event loop.
void Main();

}  // namespace qvx
