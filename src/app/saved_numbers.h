// Numbers kept as text in the registry (a window's place, its columns' widths), read back as every
// version has written them: whole numbers apart by blanks. Read without streams, which would bring
// the C++ library's locales into the program and treble its size.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace qsoferry {

// The whole numbers at the start of `text`, at most `most`: reading stops at the first that is not
// one or does not fit an int, as a stream's >> would.
inline std::vector<int> LeadingNumbers(const std::string& text, size_t most) {
    std::vector<int> numbers;
    const char* at = text.c_str();
    while (numbers.size() < most) {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(at, &end, 10);
        if (end == at || errno == ERANGE || n < INT_MIN || n > INT_MAX) break;
        numbers.push_back(static_cast<int>(n));
        at = end;
    }
    return numbers;
}

}  // namespace qsoferry
