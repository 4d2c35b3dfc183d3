#include "preview_io.h"

#include <sys/types.h>

namespace qsoferry::preview {

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::FILE* OpenForReading(const std::string& path) {
    return std::fopen(path.c_str(), "rb");
}

bool SeekTo(std::FILE* file, std::uint64_t offset) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

void SayError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace qsoferry::preview
