// The POSIX file operations behind the preview tool: the only tests on a real disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"

namespace qsoferry::files {
namespace {

struct Scratch {
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qsoferry-test-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string root;
};

std::string Contents(const std::string& realPath) {
    std::ifstream in(realPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PosixFiles, MoveNeverReplacesAndReportsWhatWentWrong) {
    Scratch scratch;
    const std::string a = scratch.root + "/a", b = scratch.root + "/b";
    std::ofstream(a) << "first";
    std::ofstream(b) << "second";
    FileResult result = MoveNoReplace(a, b, false);
    EXPECT_EQ(result.status, FileStatus::kFailed);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(Contents(b), "second");
    EXPECT_EQ(Contents(a), "first");

    EXPECT_TRUE(Remove(b).ok());
    EXPECT_TRUE(MoveNoReplace(a, b, true).ok());
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(Contents(b), "first");
    // One file under two names is one file; two files with one content are two.
    std::filesystem::create_hard_link(b, scratch.root + "/c");
    std::ofstream(a) << "first";
    EXPECT_TRUE(SameFile(b, scratch.root + "/c"));
    EXPECT_TRUE(SameFile(b, scratch.root + "/../" + std::filesystem::path(scratch.root).filename().string() + "/b"));
    EXPECT_FALSE(SameFile(a, b));
    EXPECT_FALSE(SameFile(b, scratch.root + "/none"));
    EXPECT_TRUE(Remove(a).ok());

    FileHandle file = 7;
    std::uint64_t size = 1;
    EXPECT_EQ(Open(a, FileAccess::kRead, file, size).status, FileStatus::kNotFound);
    EXPECT_EQ(file, kNoFile);
    EXPECT_EQ(Remove(a).status, FileStatus::kNotFound);
    EXPECT_EQ(MoveNoReplace(a, b, false).status, FileStatus::kNotFound);
}

TEST(PosixFiles, ReadsRawBytesAtAnyOffsetAndWritesInPlace) {
    Scratch scratch;
    const std::string path = scratch.root + "/raw";
    const std::string content("a\r\n\x1a\0b", 6);
    std::ofstream(path, std::ios::binary) << content;
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    ASSERT_TRUE(Open(path, FileAccess::kRead, file, size).ok());
    EXPECT_EQ(size, 6u);
    char bytes[16];
    size_t got = 0;
    ASSERT_TRUE(ReadAt(file, 2, bytes, sizeof bytes, got).ok());
    EXPECT_EQ(std::string(bytes, got), content.substr(2));
    ASSERT_TRUE(ReadAt(file, 6, bytes, sizeof bytes, got).ok());
    EXPECT_EQ(got, 0u);
    Close(file);

    const std::string progress = scratch.root + "/progress";
    ASSERT_TRUE(Open(progress, FileAccess::kReadWrite, file, size).ok());  // created
    EXPECT_EQ(size, 0u);
    ASSERT_TRUE(WriteAt(file, 0, "0123456789", false).ok());
    ASSERT_TRUE(WriteAt(file, 4, "ab", false).ok());
    ASSERT_TRUE(Flush(file).ok());
    Close(file);
    EXPECT_EQ(Contents(progress), "0123ab6789");
    EXPECT_TRUE(CanOpenForReading(path));
    EXPECT_FALSE(CanOpenForReading(path + ".none"));
}

}  // namespace
}  // namespace qsoferry::files
