// File operations shared by every platform implementation: the Win32 one (files_win.cpp) and the
// POSIX one (files_posix.cpp). Both report expected failures as values.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qsoferry::files {

// True when the file can be opened for reading, as a text-mode fopen would.
bool CanOpenForReading(const std::string& path);

// Reads the whole file as raw bytes and closes it before returning. The file is opened so that
// other programs may go on reading, writing and renaming it meanwhile.
FileResult ReadWholeFile(const std::string& path, std::string& bytes);

// Moves a file; never replaces a file that exists at the new name.
FileResult MoveNoReplace(const std::string& from, const std::string& to);

FileResult Remove(const std::string& path);

}  // namespace qsoferry::files
