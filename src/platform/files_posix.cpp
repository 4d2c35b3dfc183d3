#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace qsoferry::files {
namespace {

FileResult FromErrno(int err) {
    FileResult result;
    result.status = (err == ENOENT || err == ENOTDIR)  ? FileStatus::kNotFound
                    : (err == EBUSY || err == ETXTBSY) ? FileStatus::kBusy
                                                       : FileStatus::kFailed;
    result.reason = std::strerror(err);
    return result;
}

}  // namespace

FileResult ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FromErrno(errno);
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            bytes.clear();
            return FromErrno(err);
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return {};
}

FileResult MoveNoReplace(const std::string& from, const std::string& to) {
    // rename() would replace an existing target; a hard link refuses to, and the unlink then
    // leaves the file under its new name only.
    if (::link(from.c_str(), to.c_str()) != 0) return FromErrno(errno);
    if (::unlink(from.c_str()) != 0) {
        int err = errno;
        ::unlink(to.c_str());
        return FromErrno(err);
    }
    return {};
}

FileResult Remove(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return FromErrno(errno);
    return {};
}

}  // namespace qsoferry::files
