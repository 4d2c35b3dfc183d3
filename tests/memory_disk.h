// The tests' disk, in memory: folders and files by the paths the program uses ("C:\..."; any
// other path fails the test), and handles to them. A file shares as on Windows: a file opened to
// read or write (kRead, kReadWrite) lets others only read it, so it cannot be opened to write,
// renamed or removed meanwhile; one only looked at (kPeek) shares everything, and keeps its file
// when the file is moved or removed. What a power cut leaves of it is the crash model's to say
// (crash_disk.h): every write and every change of a name is told to the model, and CutPower
// replaces the files with what the model keeps.
//
// `beforeCall` runs before each operation the program makes, with its name ("open", "read",
// "write", "flush", "close", "move", "remove"): a test counts them there, or throws to end the
// process at that call. The test's own writes (Put, Append) are not counted, and are durable at
// once (files that have long been on the disk), except the decoder's log (wsjtx_log.adi): the
// decoder appends and closes without a flush, so its writes stay in the cache until a flush.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "crash_disk.h"
#include "relay/courier_io.h"

namespace qsoferry::test {

class MemoryDisk : public DeliveryFiles {
public:
    // What the test itself does, as the decoder or the operator would: durable at once.
    void Put(const std::string& path, const std::string& bytes);
    void Append(const std::string& path, const std::string& bytes);
    void MakeFolders(const std::string& path);
    // Listed in its folder, but never opened (a link to nowhere, a file of another user's).
    void PutUnopenable(const std::string& path);
    // Files too large to hold in memory, for a contact of hundreds of megabytes: one whose `size`
    // bytes are made by `make(at, into, n)` as they are read (durable, never written); and, from
    // now on, whatever is written at the end of an existing file only counted, with the CRC-32 of
    // it in order (writing anywhere else there fails the test).
    using MakeBytes = std::function<void(std::uint64_t at, char* into, size_t n)>;
    void PutMade(const std::string& path, std::uint64_t size, MakeBytes make);
    void CountWritesAtTheEnd(const std::string& path);
    std::uint64_t CountedBytes(const std::string& path) const;
    std::uint32_t CountedCrc(const std::string& path) const;
    bool Exists(const std::string& path) const;
    std::string Contents(const std::string& path) const;
    // The path a handle was opened with; "?" for none.
    std::string PathOf(FileHandle file) const;
    bool IsOpen(FileHandle file) const { return m_open.count(file) != 0; }

    // The process ends: its handles are gone. Then a power cut, drawn from `rng`.
    void CloseAll() { m_open.clear(); }
    // What is in the system's cache reaches the disk, as it does within seconds.
    void Settle() { m_crash.Settle(); }
    void CutPower(std::mt19937& rng);

    bool FolderExists(const std::string& path) const;
    std::vector<std::string> ListFolders(const std::string& parent, const std::string& prefix) const;
    bool MakeFolder(const std::string& path);

    // DeliveryFiles.
    bool CanOpenForReading(const std::string& path) override;
    FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) override;
    FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override;
    FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) override;
    FileResult FlushFile(FileHandle file) override;
    void CloseFile(FileHandle file) override;
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) override;
    FileResult RemoveFile(const std::string& path) override;
    bool TryLock(const std::string&) override { return true; }
    void Unlock(const std::string&) override {}
    std::optional<std::string> LegacySpelling(const std::string& path) override { return path; }

    std::function<void(const char* op)> beforeCall;

private:
    struct File {
        std::string bytes;
        bool unopenable = false;
        std::uint64_t madeSize = 0;  // with `make`
        MakeBytes make;
        bool counting = false;
        std::uint64_t counted = 0;
        std::uint32_t countedCrc = 0;
        std::uint64_t Size() const { return make ? madeSize : bytes.size() + counted; }
    };
    struct Open {
        std::shared_ptr<File> file;
        std::string path;
        bool writable;
        FileAccess access;
    };
    static std::string Key(const std::string& path);
    static bool IsDecoderLog(const std::string& key);
    // Whether `file` may be opened with `access` now; with none, renamed or removed.
    bool Shared(const std::shared_ptr<File>& file, std::optional<FileAccess> access) const;
    static std::string Parent(const std::string& key);
    void Call(const char* op) {
        if (beforeCall) beforeCall(op);
    }

    std::map<std::string, std::shared_ptr<File>> m_files;  // by Key
    std::set<std::string> m_folders;
    std::map<FileHandle, Open> m_open;
    FileHandle m_nextHandle = 0x7000;
    CrashDisk m_crash;
};

}  // namespace qsoferry::test
