#include "airvane/platform/File.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace {

namespace pf = airvane::platform;
using airvane::test::CTempDir;
using airvane::test::WriteFile;

TEST(File, ReadsAWholeFile) {
    CTempDir dir;
    const std::string text = "<ROOT>\n\0binary\xff</ROOT>";
    WriteFile(dir.File("a.xml"), std::string(text.data(), text.size()));
    const pf::FileHandle file = pf::OpenFileForRead(dir.File("a.xml").c_str());
    ASSERT_NE(file, pf::kInvalidFile);
    std::uint32_t size = 0;
    ASSERT_TRUE(pf::GetFileSize32(file, size));
    EXPECT_EQ(size, text.size());
    std::string buffer(size, '\0');
    EXPECT_EQ(pf::ReadFile(file, buffer.data(), size), size);
    EXPECT_EQ(buffer, text);
    pf::CloseFile(file);
}

TEST(File, ReadStopsShortAtTheEnd) {
    CTempDir dir;
    WriteFile(dir.File("short"), "abc");
    const pf::FileHandle file = pf::OpenFileForRead(dir.File("short").c_str());
    ASSERT_NE(file, pf::kInvalidFile);
    char buffer[16] = {};
    EXPECT_EQ(pf::ReadFile(file, buffer, sizeof(buffer)), 3u);
    EXPECT_EQ(std::string(buffer), "abc");
    EXPECT_EQ(pf::ReadFile(file, buffer, sizeof(buffer)), 0u);
    EXPECT_EQ(pf::ReadFile(file, nullptr, 4), 0u);
    pf::CloseFile(file);
}

TEST(File, MissingFilesAndFoldersDoNotOpen) {
    CTempDir dir;
    EXPECT_EQ(pf::OpenFileForRead(dir.File("missing").c_str()), pf::kInvalidFile);
    EXPECT_EQ(pf::OpenFileForRead(dir.Path().c_str()), pf::kInvalidFile);
    EXPECT_EQ(pf::OpenFileForRead(nullptr), pf::kInvalidFile);
    std::uint32_t size = 99;
    EXPECT_FALSE(pf::GetFileSize32(pf::kInvalidFile, size));
    EXPECT_EQ(pf::ReadFile(pf::kInvalidFile, &size, sizeof(size)), 0u);
    pf::CloseFile(pf::kInvalidFile);
}

TEST(File, SizeIsTheLow32Bits) {
    CTempDir dir;
    const std::string path = dir.File("sparse");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const bool grown = ::ftruncate(fd, (static_cast<off_t>(1) << 32) + 5) == 0;
    ::close(fd);
    if (!grown) {
        GTEST_SKIP() << "file system refuses a sparse 4 GiB file";
    }
    const pf::FileHandle file = pf::OpenFileForRead(path.c_str());
    ASSERT_NE(file, pf::kInvalidFile);
    std::uint32_t size = 0;
    EXPECT_TRUE(pf::GetFileSize32(file, size));
    EXPECT_EQ(size, 5u);
    pf::CloseFile(file);
}

} // namespace
