// Files in memory for the fuzz targets, by path; a handle is the path's place among them, so every
// file is made before any is opened. Nothing is ever flushed, moved or removed by what they fuzz.
#pragma once

#include <cstdlib>
#include <iterator>
#include <map>
#include <string>

#include "relay/courier_io.h"

namespace qsoferry {

class MemoryFiles : public DeliveryFiles {
public:
    std::map<std::string, std::string> files;
    bool CanOpenForReading(const std::string& path) override { return files.count(path) != 0; }
    FileResult OpenFile(const std::string& path, FileAccess, FileHandle& file, std::uint64_t& size) override {
        auto found = files.find(path);
        if (found == files.end()) return {FileStatus::kNotFound, "not found"};
        file = static_cast<FileHandle>(std::distance(files.begin(), found) + 1);
        size = found->second.size();
        return {};
    }
    FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override {
        const std::string& bytes = Of(file);
        got = offset >= bytes.size() ? 0 : bytes.copy(buffer, size, static_cast<size_t>(offset));
        return {};
    }
    FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool) override {
        std::string& to = Of(file);
        if (to.size() < offset + bytes.size()) to.resize(static_cast<size_t>(offset) + bytes.size());
        to.replace(static_cast<size_t>(offset), bytes.size(), bytes);
        return {};
    }
    FileResult FlushFile(FileHandle) override { std::abort(); }
    void CloseFile(FileHandle) override {}
    FileResult MoveFileNoReplace(const std::string&, const std::string&, bool) override { std::abort(); }
    FileResult RemoveFile(const std::string&) override { std::abort(); }
    bool TryLock(const std::string&) override { return true; }
    void Unlock(const std::string&) override {}
    std::optional<std::string> LegacySpelling(const std::string& path) override { return path; }

private:
    std::string& Of(FileHandle file) { return std::next(files.begin(), static_cast<long>(file - 1))->second; }
};

}  // namespace qsoferry
