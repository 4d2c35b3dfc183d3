#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace qsoferry::files {
namespace {

FileResult FromErrno(int err) {
    FileResult result;
    result.status = (err == ENOENT || err == ENOTDIR)                 ? FileStatus::kNotFound
                    : (err == EBUSY || err == ETXTBSY)                ? FileStatus::kBusy
                    : (err == EACCES || err == EPERM || err == EROFS) ? FileStatus::kDenied
                    : (err == ENOSPC || err == EDQUOT)                ? FileStatus::kFull
                                                                      : FileStatus::kFailed;
    result.reason = std::strerror(err);
    return result;
}

}  // namespace

bool CanOpenForReading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    std::fclose(file);
    return true;
}

FileResult Open(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) {
    file = kNoFile;
    size = 0;
    int flags = access == FileAccess::kReadWrite ? O_RDWR | O_CREAT : O_RDONLY;
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return FromErrno(errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        int err = errno;
        ::close(fd);
        return FromErrno(err);
    }
    size = static_cast<std::uint64_t>(info.st_size);
    file = static_cast<FileHandle>(fd) + 1;  // 0 stays "no file"
    return {};
}

FileResult ReadAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) {
    got = 0;
    for (;;) {
        ssize_t n = ::pread(static_cast<int>(file - 1), buffer, size, static_cast<off_t>(offset));
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return {};
        }
        if (errno != EINTR) return FromErrno(errno);
    }
}

FileResult WriteAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) {
    int fd = static_cast<int>(file - 1);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FromErrno(n < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(n);
    }
    if (flush && ::fsync(fd) != 0) return FromErrno(errno);
    return {};
}

void Close(FileHandle file) {
    if (file != kNoFile) ::close(static_cast<int>(file - 1));
}

FileResult Flush(FileHandle file) {
    if (::fsync(static_cast<int>(file - 1)) != 0) return FromErrno(errno);
    return {};
}

FileResult MoveNoReplace(const std::string& from, const std::string& to, bool durable) {
    // rename() would replace an existing target; a hard link refuses to, and the unlink then
    // leaves the file under its new name only.
    if (::link(from.c_str(), to.c_str()) != 0) return FromErrno(errno);
    if (::unlink(from.c_str()) != 0) {
        int err = errno;
        ::unlink(to.c_str());
        return FromErrno(err);
    }
    if (durable) {
        // The folder holds the names: it goes to the disk.
        std::string folder = to.substr(0, to.find_last_of('/') + 1);
        int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return FromErrno(errno);
        int synced = ::fsync(fd);
        int err = errno;
        ::close(fd);
        if (synced != 0) return FromErrno(err);
    }
    return {};
}

FileResult Remove(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return FromErrno(errno);
    return {};
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat one, other;
    return ::stat(a.c_str(), &one) == 0 && ::stat(b.c_str(), &other) == 0 && one.st_dev == other.st_dev &&
           one.st_ino == other.st_ino;
}

bool FolderExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 || FolderExists(path);
}

}  // namespace qsoferry::files
