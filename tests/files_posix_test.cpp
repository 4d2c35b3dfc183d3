// The POSIX file operations behind the fake and the preview tool.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fake_platform.h"
#include "platform/files.h"

namespace qsoferry::files {
namespace {

TEST(PosixFiles, MoveNeverReplacesAndReportsWhatWentWrong) {
    test::FakePlatform scratch;  // for its temporary folder
    const std::string a = scratch.root + "/a", b = scratch.root + "/b";
    std::ofstream(a) << "first";
    std::ofstream(b) << "second";
    FileResult result = MoveNoReplace(a, b);
    EXPECT_EQ(result.status, FileStatus::kFailed);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(scratch.Contents(b), "second");
    EXPECT_EQ(scratch.Contents(a), "first");

    EXPECT_TRUE(Remove(b).ok());
    EXPECT_TRUE(MoveNoReplace(a, b).ok());
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(scratch.Contents(b), "first");

    std::string bytes = "stale";
    EXPECT_EQ(ReadWholeFile(a, bytes).status, FileStatus::kNotFound);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(Remove(a).status, FileStatus::kNotFound);
    EXPECT_EQ(MoveNoReplace(a, b).status, FileStatus::kNotFound);
}

TEST(PosixFiles, ReadsRawBytes) {
    test::FakePlatform scratch;
    const std::string path = scratch.root + "/raw";
    const std::string content("a\r\n\x1a\0b", 6);
    std::ofstream(path, std::ios::binary) << content;
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes).ok());
    EXPECT_EQ(bytes, content);
    EXPECT_TRUE(CanOpenForReading(path));
    EXPECT_FALSE(CanOpenForReading(path + ".none"));
}

}  // namespace
}  // namespace qsoferry::files
