#include "relay/text.h"

namespace qsoferry::text {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string TrimLeft(std::string_view s) {
    size_t begin = 0;
    while (begin < s.size() && IsSpace(s[begin]))
        ++begin;
    return std::string(s.substr(begin));
}

std::string TrimRight(std::string_view s) {
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1]))
        --end;
    return std::string(s.substr(0, end));
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ToUpper(a) == ToUpper(b);
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
    size_t eof = bytes.find('\x1a');
    if (eof != std::string_view::npos) bytes = bytes.substr(0, eof);

    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t lf = bytes.find('\n', start);
        size_t end = (lf == std::string_view::npos) ? bytes.size() : lf;
        size_t lineEnd = (lf != std::string_view::npos && end > start && bytes[end - 1] == '\r') ? end - 1 : end;
        lines.emplace_back(bytes.substr(start, lineEnd - start));
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return lines;
}

}  // namespace qsoferry::text
