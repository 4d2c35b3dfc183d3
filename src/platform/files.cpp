#include <cstdio>

#include "platform/files.h"

namespace qsoferry::files {

bool CanOpenForReading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace qsoferry::files
