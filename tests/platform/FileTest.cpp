#include "airvane/platform/File.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace {

namespace pf = airvane::platform;
using airvane::test::CTempDir;

TEST(File, ReadsWholeFilesSizesThemAndRefusesWhatIsNoFile) {
    CTempDir dir;
    const std::string text("<ROOT>\n\0binary\xff</ROOT>", 22);
    airvane::test::WriteFile(dir.File("a.xml"), text);
    const pf::FileHandle file = pf::OpenFileForRead(dir.File("a.xml").c_str());
    ASSERT_NE(file, pf::kInvalidFile);
    std::uint32_t size = 0;
    ASSERT_TRUE(pf::GetFileSize32(file, size));
    EXPECT_EQ(size, text.size());
    std::string buffer(size + 8, '\0');
    EXPECT_EQ(pf::ReadFile(file, buffer.data(), size + 8), size);
    EXPECT_EQ(buffer.substr(0, size), text);
    EXPECT_EQ(pf::ReadFile(file, buffer.data(), 8), 0u);
    EXPECT_EQ(pf::ReadFile(file, nullptr, 4), 0u);
    pf::CloseFile(file);
    // Missing files, folders and invalid handles.
    EXPECT_EQ(pf::OpenFileForRead(dir.File("missing").c_str()), pf::kInvalidFile);
    EXPECT_EQ(pf::OpenFileForRead(dir.Path().c_str()), pf::kInvalidFile);
    EXPECT_EQ(pf::OpenFileForRead(nullptr), pf::kInvalidFile);
#if defined(_WIN32)
    EXPECT_EQ(pf::OpenFileForRead("NUL"), pf::kInvalidFile);
#else
    // A named pipe without a writer: opening it must neither wait nor succeed.
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(pf::OpenFileForRead(dir.File("pipe").c_str()), pf::kInvalidFile);
    EXPECT_EQ(pf::OpenFileForRead("/dev/zero"), pf::kInvalidFile);
#endif
    EXPECT_FALSE(pf::GetFileSize32(pf::kInvalidFile, size));
    EXPECT_EQ(pf::ReadFile(pf::kInvalidFile, &size, sizeof(size)), 0u);
    pf::CloseFile(pf::kInvalidFile);
    // The size is the low 32 bits of a (sparse) file past 4 GiB.
    const std::string path = dir.File("sparse");
    airvane::test::WriteFile(path, "");
    std::error_code error;
    std::filesystem::resize_file(path, (std::uintmax_t{1} << 32) + 5, error);
    if (error) {
        GTEST_SKIP() << "file system refuses a sparse 4 GiB file";
    }
    const pf::FileHandle sparse = pf::OpenFileForRead(path.c_str());
    EXPECT_TRUE(pf::GetFileSize32(sparse, size));
    EXPECT_EQ(size, 5u);
    pf::CloseFile(sparse);
}

} // namespace
