#include "relay/text.h"

namespace qsoferry::text {

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = ToUpper(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToUpper(a[i]) != ToUpper(b[i])) return false;
    }
    return true;
}

}  // namespace qsoferry::text
