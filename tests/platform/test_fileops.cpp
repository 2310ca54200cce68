#include "platform/modFileSystem.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace modFileSystem;
namespace fs = std::filesystem;

namespace {

void MakeReadOnly(const std::string& path) {
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_Name(name) {
        if (const char* old = std::getenv(name))
            m_Old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_Old)
            ::setenv(m_Name, m_Old->c_str(), 1);
        else
            ::unsetenv(m_Name);
    }

private:
    const char* m_Name;
    std::optional<std::string> m_Old;
};

} // namespace

TEST(FileExists, OnlyForExistingNonFolders) {
    testsupport::TempDir dir;
    const std::string file = dir.WriteFile("a.txt", "x");
    fs::create_directory(dir.FilePath("folder"));
    fs::create_symlink(file, dir.FilePath("link"));
    fs::create_symlink(dir.FilePath("gone"), dir.FilePath("dangling"));

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(dir.FilePath("link")));
    EXPECT_FALSE(FileExists(dir.FilePath("folder")));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.FilePath("missing")));
    EXPECT_FALSE(FileExists(dir.FilePath("dangling")));
    EXPECT_FALSE(FileExists(""));
}

TEST(DeleteFile, ReadOnlyFilesNeedForce) {
    testsupport::TempDir dir;
    const std::string writable = dir.WriteFile("w", "x");
    EXPECT_TRUE(DeleteFile(writable, false));
    EXPECT_FALSE(fs::exists(writable));

    const std::string readOnly = dir.WriteFile("r", "x");
    MakeReadOnly(readOnly);
    EXPECT_FALSE(DeleteFile(readOnly, false));
    EXPECT_TRUE(fs::exists(readOnly));
    // Untouched when refused.
    EXPECT_EQ(fs::status(readOnly).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(DeleteFile(readOnly, true));
    EXPECT_FALSE(fs::exists(readOnly));

    fs::create_directory(dir.FilePath("folder"));
    EXPECT_FALSE(DeleteFile(dir.FilePath("folder"), true));
    EXPECT_TRUE(fs::is_directory(dir.FilePath("folder")));
    EXPECT_FALSE(DeleteFile(dir.FilePath("missing"), true));
}

TEST(DeleteFile, ALinkGoesAndItsTargetStays) {
    testsupport::TempDir dir;
    const std::string target = dir.WriteFile("target", "x");
    MakeReadOnly(target);
    fs::create_symlink(target, dir.FilePath("link"));
    EXPECT_TRUE(DeleteFile(dir.FilePath("link"), false));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.FilePath("link"))));
    EXPECT_TRUE(fs::exists(target));
}

TEST(GetFileSize, RealSizesIncludingBeyondFourGiB) {
    testsupport::TempDir dir;
    EXPECT_EQ(GetFileSize(dir.WriteFile("empty", "")), 0);
    EXPECT_EQ(GetFileSize(dir.WriteFile("five", "12345")), 5);
    // Sparse: no disk space needed. 4 GiB + 5 would read as 5 if the size were cut to 32 bits.
    const std::string big = dir.WriteFile("big", "");
    const int64_t bigSize = (int64_t{1} << 32) + 5;
    ASSERT_EQ(::truncate(big.c_str(), bigSize), 0);
    EXPECT_EQ(GetFileSize(big), bigSize);
    const std::string twoGiB = dir.WriteFile("two", "");
    ASSERT_EQ(::truncate(twoGiB.c_str(), int64_t{1} << 31), 0);
    EXPECT_EQ(GetFileSize(twoGiB), int64_t{1} << 31);

    EXPECT_EQ(GetFileSize(dir.FilePath("missing")), 0);
    EXPECT_EQ(GetFileSize(dir.Path()), 0);
    // A named pipe without a writer: 0 at once (opening it blocking would wait forever).
    const std::string fifo = dir.FilePath("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(FileExists(fifo));
    EXPECT_EQ(GetFileSize(fifo), 0);
}

TEST(TempFile, CreatesUniqueEmptyFilesInTheGivenOrTheTemporaryFolder) {
    testsupport::TempDir dir;
    std::set<std::string> made;
    for (const std::string& folder : {dir.Path(), dir.Path() + "/"}) {
        const std::string path = TempFile(folder);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(dir.Path()));
        EXPECT_EQ(fs::path(path).filename().string().substr(0, 3), "TMP");
        EXPECT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);
        made.insert(path);
    }
    EXPECT_EQ(made.size(), 2u);

    testsupport::TempDir systemTemp;
    {
        ScopedEnv env("TMPDIR", systemTemp.Path());
        const std::string path = TempFile("");
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(systemTemp.Path()));
        EXPECT_TRUE(fs::is_regular_file(path));
    }
    EXPECT_EQ(TempFile(dir.FilePath("missing")), "");
}

TEST(GetContentType, ByExtensionWithFallback) {
    struct Row {
        const char* path;
        const char* type;
    };
    // Types on which /etc/mime.types and the built-in table agree, so the rows hold either way.
    const Row rows[] = {
        {"/home/u/notes.txt", "text/plain"},
        {"/home/u/PHOTO.PNG", "image/png"},
        {"archive.tar.zip", "application/zip"},
        {"/home/u/doc.pdf", "application/pdf"},
        {"/home/u/README", "application/octet-stream"},
        {"/home/u/file.", "application/octet-stream"},
        {"/home/u/file.unknownext", "application/octet-stream"},
        {"/home/u.dir/README", "application/octet-stream"}, // the dot of a folder does not count
        {"", "application/octet-stream"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(GetContentType(row.path), row.type) << row.path;
}
