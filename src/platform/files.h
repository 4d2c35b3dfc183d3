// File operations shared by every platform implementation: the Win32 one (files_win.cpp) and the
// POSIX one (files_posix.cpp). Both report expected failures as values.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qsoferry::files {

// True when the file can be opened for reading, as a text-mode fopen would.
bool CanOpenForReading(const std::string& path);

// Files held open while a log is delivered; see the seam for what each access mode allows others.
FileResult Open(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size);
FileResult ReadAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got);
FileResult WriteAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush);
void Close(FileHandle file);

FileResult Flush(FileHandle file);

// Moves a file; never replaces a file that exists at the new name. `durable`: the new name is on
// the disk when it returns.
FileResult MoveNoReplace(const std::string& from, const std::string& to, bool durable);

// Both paths name one file (also through links, or spelt differently).
bool SameFile(const std::string& a, const std::string& b);

FileResult Remove(const std::string& path);

bool FolderExists(const std::string& path);
// Makes the folder (its parent must exist); true when it is there afterwards.
bool MakeFolder(const std::string& path);

}  // namespace qsoferry::files
