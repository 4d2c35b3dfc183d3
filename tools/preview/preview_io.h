// What the preview tool needs of the system it runs on: its arguments, its file and a way to say
// what went wrong. Paths and messages are UTF-8 here, whatever the system; the records it prints
// are the log's bytes and never pass through this.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qsoferry::preview {

// The arguments after the program's name.
std::vector<std::string> Arguments(int argc, char** argv);
// Opens the file for reading in binary mode; errno says why not.
std::FILE* OpenForReading(const std::string& path);
bool SeekTo(std::FILE* file, std::uint64_t offset);
// Writes a line to the error stream: readable on a console, UTF-8 when redirected.
void SayError(const std::string& line);

}  // namespace qsoferry::preview
