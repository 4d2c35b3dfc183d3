// Single-byte text helpers. Every length and position is in bytes; upper-casing and the case-free
// comparison follow plain ASCII, whatever the system's code page, so that bytes above 0x7F pass
// through unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qsoferry::text {

// Space, tab, carriage return, line feed, vertical tab and form feed.
bool IsSpace(char c);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string ToUpper(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Cuts raw file bytes into lines as a text-mode reader does: a line ends at a line feed, a carriage
// return just before it is dropped, the last line needs no line feed, and a Ctrl-Z (0x1A) ends the
// file. Lines may be of any length.
std::vector<std::string> SplitTextLines(std::string_view bytes);

}  // namespace qsoferry::text
