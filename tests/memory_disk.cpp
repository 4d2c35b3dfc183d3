#include "memory_disk.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "relay/progress_record.h"

namespace qsoferry::test {
namespace {
constexpr const char kSharingViolation[] =
    "The process cannot access the file because it is being used by another process";
}  // namespace

std::string MemoryDisk::Key(const std::string& path) {
    // A path the program would never use on Windows has no place here.
    bool drive =
        path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    if (!drive) throw std::logic_error("the memory disk cannot hold the path " + path);
    std::string key = path;
    key[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
    while (key.size() > 3 && key.back() == '\\')
        key.pop_back();
    return key;
}

std::string MemoryDisk::Parent(const std::string& key) {
    size_t slash = key.find_last_of('\\');
    return slash <= 2 ? key.substr(0, 3) : key.substr(0, slash);
}

void MemoryDisk::MakeFolders(const std::string& path) {
    std::string key = Key(path);
    for (size_t at = 3; at <= key.size(); ++at) {
        if (at == key.size() || key[at] == '\\') m_folders.insert(key.substr(0, at));
    }
}

void MemoryDisk::Put(const std::string& path, const std::string& bytes) {
    const std::string key = Key(path);
    MakeFolders(Parent(key));
    auto& file = m_files[key];
    const bool made = !file;
    if (made) file = std::make_shared<File>();
    const std::string old = file->bytes;
    file->bytes = bytes;
    file->unopenable = false;
    if (!IsDecoderLog(key)) {
        m_crash.WrittenDurably(key, bytes);
        return;
    }
    // The decoder appends and closes without a flush, or writes a new log: all of it in the cache.
    if (!made && bytes.compare(0, old.size(), old) != 0) {
        m_crash.Removed(key);
        m_crash.Created(key);
        m_crash.Written(key, 0, bytes, false, "");
    } else {
        if (made) m_crash.Created(key);
        const size_t from = made ? 0 : old.size();
        if (bytes.size() > from) m_crash.Written(key, from, bytes.substr(from), false, "");
    }
}

bool MemoryDisk::IsDecoderLog(const std::string& key) {
    const std::string name = "\\wsjtx_log.adi";
    if (key.size() < name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(key[key.size() - name.size() + i])) != name[i]) return false;
    }
    return true;
}

// Windows' sharing rules: a new handle's access must be shared by every open handle, and its
// sharing must allow every open handle's access. Renaming or removing needs every handle to share
// deletion.
bool MemoryDisk::Shared(const std::shared_ptr<File>& file, std::optional<FileAccess> access) const {
    auto shares = [](FileAccess a, bool write, bool remove) { return a == FileAccess::kPeek || (!write && !remove); };
    for (const auto& [handle, open] : m_open) {
        if (open.file != file) continue;
        if (!access) {
            if (open.access != FileAccess::kPeek) return false;
            continue;
        }
        if (!shares(open.access, *access == FileAccess::kReadWrite, false)) return false;
        if (!shares(*access, open.access == FileAccess::kReadWrite, false)) return false;
    }
    return true;
}

void MemoryDisk::Append(const std::string& path, const std::string& bytes) {
    Put(path, Contents(path) + bytes);
}

void MemoryDisk::PutUnopenable(const std::string& path) {
    Put(path, "");
    m_files[Key(path)]->unopenable = true;
}

void MemoryDisk::PutMade(const std::string& path, std::uint64_t size, MakeBytes make) {
    Put(path, "");
    m_crash.WrittenDurably(Key(path), "");
    File& file = *m_files[Key(path)];
    file.madeSize = size;
    file.make = std::move(make);
}

void MemoryDisk::CountWritesAtTheEnd(const std::string& path) {
    m_files.at(Key(path))->counting = true;
}

std::uint64_t MemoryDisk::CountedBytes(const std::string& path) const {
    return m_files.at(Key(path))->counted;
}

std::uint32_t MemoryDisk::CountedCrc(const std::string& path) const {
    return m_files.at(Key(path))->countedCrc;
}

bool MemoryDisk::Exists(const std::string& path) const {
    return m_files.count(Key(path)) != 0;
}

std::string MemoryDisk::Contents(const std::string& path) const {
    auto it = m_files.find(Key(path));
    return it == m_files.end() ? std::string() : it->second->bytes;
}

std::string MemoryDisk::PathOf(FileHandle file) const {
    auto it = m_open.find(file);
    return it == m_open.end() ? "?" : it->second.path;
}

void MemoryDisk::CutPower(std::mt19937& rng) {
    CloseAll();
    m_files.clear();
    for (auto& [key, bytes] : m_crash.Cut(rng)) {
        auto file = std::make_shared<File>();
        file->bytes = std::move(bytes);
        m_files[key] = file;
    }
}

bool MemoryDisk::FolderExists(const std::string& path) const {
    return m_folders.count(Key(path)) != 0;
}

std::vector<std::string> MemoryDisk::ListFolders(const std::string& parent, const std::string& prefix) const {
    std::vector<std::string> names;
    const std::string key = Key(parent);
    if (!m_folders.count(key)) return names;
    const std::string inside = key.size() == 3 ? key : key + "\\";
    for (auto it = m_folders.lower_bound(inside); it != m_folders.end() && it->compare(0, inside.size(), inside) == 0;
         ++it) {
        std::string name = it->substr(inside.size());
        if (name.find('\\') == std::string::npos && name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
    }
    return names;
}

bool MemoryDisk::MakeFolder(const std::string& path) {
    const std::string key = Key(path);
    if (!m_folders.count(Parent(key))) return false;
    m_folders.insert(key);
    return true;
}

bool MemoryDisk::CanOpenForReading(const std::string& path) {
    auto it = m_files.find(Key(path));
    return it != m_files.end() && !it->second->unopenable;
}

FileResult MemoryDisk::OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) {
    file = kNoFile;
    size = 0;
    Call("open");
    const std::string key = Key(path);
    auto it = m_files.find(key);
    if (it == m_files.end()) {
        if (access != FileAccess::kReadWrite || !m_folders.count(Parent(key)))
            return {FileStatus::kNotFound, "No such file or directory"};
        it = m_files.emplace(key, std::make_shared<File>()).first;
        m_crash.Created(key);
    }
    if (it->second->unopenable) return {FileStatus::kNotFound, "No such file or directory"};
    if (!Shared(it->second, access)) return {FileStatus::kBusy, kSharingViolation};
    file = m_nextHandle++;
    m_open[file] = {it->second, key, access == FileAccess::kReadWrite, access};
    size = it->second->Size();
    return {};
}

FileResult MemoryDisk::ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) {
    got = 0;
    Call("read");
    auto it = m_open.find(file);
    if (it == m_open.end()) return {FileStatus::kFailed, "The handle is invalid"};
    const File& f = *it->second.file;
    if (f.make) {
        if (offset < f.madeSize) got = static_cast<size_t>(std::min<std::uint64_t>(size, f.madeSize - offset));
        if (got) f.make(offset, buffer, got);
        return {};
    }
    if (offset < f.bytes.size()) got = f.bytes.copy(buffer, size, static_cast<size_t>(offset));
    return {};
}

FileResult MemoryDisk::WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) {
    Call("write");
    auto it = m_open.find(file);
    if (it == m_open.end() || !it->second.writable) return {FileStatus::kFailed, "The handle is invalid"};
    File& f = *it->second.file;
    if (f.make) throw std::logic_error("a made file is written");
    if (f.counting && offset + bytes.size() > f.bytes.size()) {
        if (offset != f.bytes.size() + f.counted) throw std::logic_error("a counted file written out of order");
        f.counted += bytes.size();
        f.countedCrc = Crc32(f.countedCrc, bytes);
        return {};
    }
    std::string& content = f.bytes;
    if (content.size() < offset + bytes.size()) content.resize(static_cast<size_t>(offset + bytes.size()), '\0');
    content.replace(static_cast<size_t>(offset), bytes.size(), bytes);
    m_crash.Written(it->second.path, offset, bytes, flush, flush ? content : std::string());
    return {};
}

FileResult MemoryDisk::FlushFile(FileHandle file) {
    Call("flush");
    auto it = m_open.find(file);
    if (it == m_open.end() || !it->second.writable) return {FileStatus::kFailed, "The handle is invalid"};
    m_crash.Flushed(it->second.path, it->second.file->bytes);
    return {};
}

void MemoryDisk::CloseFile(FileHandle file) {
    if (!m_open.count(file)) return;
    Call("close");
    m_open.erase(file);
}

FileResult MemoryDisk::MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) {
    Call("move");
    const std::string source = Key(from), target = Key(to);
    auto it = m_files.find(source);
    if (it == m_files.end()) return {FileStatus::kNotFound, "No such file or directory"};
    if (!Shared(it->second, std::nullopt)) return {FileStatus::kBusy, kSharingViolation};
    if (m_files.count(target)) return {FileStatus::kFailed, "File exists"};
    if (!m_folders.count(Parent(target))) return {FileStatus::kNotFound, "No such file or directory"};
    m_files[target] = it->second;
    m_files.erase(it);
    m_crash.Moved(source, target, durable);
    return {};
}

FileResult MemoryDisk::RemoveFile(const std::string& path) {
    Call("remove");
    const std::string key = Key(path);
    auto it = m_files.find(key);
    if (it == m_files.end()) return {FileStatus::kNotFound, "No such file or directory"};
    if (!Shared(it->second, std::nullopt)) return {FileStatus::kBusy, kSharingViolation};
    m_files.erase(it);
    m_crash.Removed(key);
    return {};
}

}  // namespace qsoferry::test
