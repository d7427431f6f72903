// Makes one write of the migration fail while it runs in this process, on either build: natively
// through the engine's file system (the test executable is linked with RealFileSystem wrapped),
// under Wine through the profile write itself (ProfileWriteW wrapped). See CMakeLists.txt.
#pragma once

#include <string>

namespace ZentrelTest {

// From now on, the write numbered `number` (from 0) of those to the file "Velmora.ini" in the
// folder named `folder` fails, once; -1 fails none. Natively a write to the file counts when it
// changes the file, under Wine every profile write to it counts.
void FailWriteTo(const std::string& folder, int number);

// The writes to that file counted since FailWriteTo.
int WritesCounted();

}  // namespace ZentrelTest
