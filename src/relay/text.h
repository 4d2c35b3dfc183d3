// Single-byte text helpers. Every length and position is in bytes; upper-casing and the case-free
// comparison follow plain ASCII, whatever the system's code page, so that bytes above 0x7F pass
// through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace qsoferry::text {

// Space, tab, carriage return, line feed, vertical tab and form feed.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string_view TrimLeftView(std::string_view s) {
    size_t begin = 0;
    while (begin < s.size() && IsSpace(s[begin]))
        ++begin;
    return s.substr(begin);
}
inline std::string_view TrimRightView(std::string_view s) {
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1]))
        --end;
    return s.substr(0, end);
}
std::string ToUpper(std::string_view s);
void MakeUpper(std::string& s);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qsoferry::text
