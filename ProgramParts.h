// What the program registers at its start, from above every library it is made of: the
// report entries of the main window's dispatch and the settings-file keys owned by the
// connection and the reports. The program, the report runner and the test programs
// call it once before anything else.
#pragma once

namespace qvx {

void RegisterProgramParts();

}  // namespace qvx
