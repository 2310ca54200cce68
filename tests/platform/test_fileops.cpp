#include "platform/modFileSystem.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using namespace modFileSystem;
namespace fs = std::filesystem;

TEST(FileExists, OnlyForExistingNonFolders) {
    testsupport::TempDir dir;
    const std::string file = dir.WriteFile("a.txt", "x");
    fs::create_directory(dir.FilePath("folder"));
    fs::create_symlink(file, dir.FilePath("link"));
    fs::create_symlink(dir.FilePath("gone"), dir.FilePath("dangling"));
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(dir.FilePath("link")));
    for (const std::string& path :
         {dir.FilePath("folder"), dir.FilePath("missing"), dir.FilePath("dangling"), std::string()})
        EXPECT_FALSE(FileExists(path)) << path;
}

TEST(DeleteFile, ReadOnlyFilesNeedForceAndALinkGoesWithoutItsTarget) {
    testsupport::TempDir dir;
    const std::string writable = dir.WriteFile("w", "x");
    EXPECT_TRUE(DeleteFile(writable, false));
    EXPECT_FALSE(fs::exists(writable));

    const std::string readOnly = dir.WriteFile("r", "x");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    EXPECT_FALSE(DeleteFile(readOnly, false));
    EXPECT_EQ(fs::status(readOnly).permissions() & fs::perms::owner_write, fs::perms::none)
        << "untouched when refused";
    fs::create_symlink(readOnly, dir.FilePath("link"));
    EXPECT_TRUE(DeleteFile(dir.FilePath("link"), false));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.FilePath("link"))));
    EXPECT_TRUE(fs::exists(readOnly));
    EXPECT_TRUE(DeleteFile(readOnly, true));
    EXPECT_FALSE(fs::exists(readOnly));

    fs::create_directory(dir.FilePath("folder"));
    EXPECT_FALSE(DeleteFile(dir.FilePath("folder"), true));
    EXPECT_TRUE(fs::is_directory(dir.FilePath("folder")));
    EXPECT_FALSE(DeleteFile(dir.FilePath("missing"), true));
}

TEST(GetFileSize, RealSizesBeyondFourGiBAndZeroForTheRest) {
    testsupport::TempDir dir;
    EXPECT_EQ(GetFileSize(dir.WriteFile("five", "12345")), 5);
    // Sparse files need no disk space; a size cut to 32 bits would read as negative or as 5.
    for (const int64_t size : {int64_t{1} << 31, (int64_t{1} << 32) + 5}) {
        const std::string big = dir.WriteFile("big", "");
        ASSERT_EQ(::truncate(big.c_str(), size), 0);
        EXPECT_EQ(GetFileSize(big), size);
    }
    EXPECT_EQ(GetFileSize(dir.FilePath("missing")), 0);
    EXPECT_EQ(GetFileSize(dir.Path()), 0);
    // A named pipe without a writer: 0 at once (opening it blocking would wait forever).
    const std::string fifo = dir.FilePath("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(FileExists(fifo));
    EXPECT_EQ(GetFileSize(fifo), 0);
}

TEST(TempFile, CreatesUniqueEmptyFilesInTheGivenOrTheTemporaryFolder) {
    testsupport::TempDir dir, systemTemp;
    std::set<std::string> made;
    for (const std::string& folder : {dir.Path(), dir.Path() + "/"}) {
        const std::string path = TempFile(folder);
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(dir.Path()));
        EXPECT_EQ(fs::path(path).filename().string().substr(0, 3), "TMP");
        EXPECT_EQ(fs::file_size(path), 0u);
        made.insert(path);
    }
    EXPECT_EQ(made.size(), 2u);
    EXPECT_EQ(TempFile(dir.FilePath("missing")), "");

    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", systemTemp.Path().c_str(), 1);
    const std::string path = TempFile("");
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(systemTemp.Path()));
    EXPECT_TRUE(fs::is_regular_file(path));
}

TEST(GetContentType, ByExtensionWithFallback) {
    // Types on which /etc/mime.types and the built-in table agree, so the rows hold either way.
    const std::pair<const char*, const char*> rows[] = {
        {"/home/u/notes.txt", "text/plain"},
        {"/home/u/PHOTO.PNG", "image/png"},
        {"archive.tar.zip", "application/zip"},
        {"/home/u/README", "application/octet-stream"},
        {"/home/u/file.", "application/octet-stream"},
        {"/home/u/file.unknownext", "application/octet-stream"},
        {"/home/u.dir/README", "application/octet-stream"}, // the dot of a folder does not count
        {"", "application/octet-stream"},
    };
    for (const auto& [path, type] : rows)
        EXPECT_EQ(GetContentType(path), type) << path;
}
