#include "platform/modFileSystem.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace modFileSystem;
namespace fs = std::filesystem;

TEST(FileOps, ExistsDeleteAndSizeBeyondFourGiB) {
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(name).toStdString(); };
    const std::string file = testsupport::WriteFile(dir, "five", "12345");
    fs::create_directory(at("folder"));
    fs::create_symlink(file, at("link"));
    fs::create_symlink(at("gone"), at("dangling"));
    ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0600), 0);
    // A pipe without a writer: size 0 at once (opening it blocking would wait forever).
    std::string seen;
    for (const std::string& path :
         {file, at("link"), at("pipe"), at("folder"), at("missing"), at("dangling"), std::string()})
        seen += std::to_string(FileExists(path)) + " " + std::to_string(GetFileSize(path)) + "|";
    EXPECT_EQ(seen, "1 5|1 5|1 0|0 0|0 0|0 0|0 0|");
    // Sparse files need no disk space; a size cut to 32 bits would read as negative or as 5.
    for (const int64_t size : {int64_t{1} << 31, (int64_t{1} << 32) + 5}) {
        ASSERT_EQ(::truncate(file.c_str(), size), 0);
        EXPECT_EQ(GetFileSize(file), size);
    }

    // Read-only files need force; a link goes without its target; folders never go.
    EXPECT_TRUE(DeleteFile(testsupport::WriteFile(dir, "w", "x"), false));
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_FALSE(DeleteFile(file, false));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none)
        << "untouched when refused";
    EXPECT_TRUE(DeleteFile(at("link"), false));
    EXPECT_FALSE(fs::exists(fs::symlink_status(at("link"))));
    EXPECT_TRUE(DeleteFile(file, true));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(DeleteFile(at("folder"), true));
    EXPECT_TRUE(fs::is_directory(at("folder")));
    EXPECT_FALSE(DeleteFile(at("missing"), true));
}

TEST(FileOps, TempFilesAndContentTypes) {
    QTemporaryDir dir, systemTemp;
    const fs::path folder = dir.path().toStdString();
    const fs::path one = TempFile(folder.string()), two = TempFile(folder.string() + "/");
    for (const fs::path& path : {one, two}) {
        EXPECT_EQ(path.parent_path(), folder);
        EXPECT_EQ(path.filename().string().substr(0, 3), "TMP");
        EXPECT_TRUE(fs::is_regular_file(path) && fs::file_size(path) == 0) << path;
    }
    EXPECT_NE(one, two);
    EXPECT_EQ(TempFile((folder / "missing").string()), "");
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", systemTemp.path().toUtf8());
    const fs::path path = TempFile("");
    saved.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", saved);
    EXPECT_EQ(path.parent_path(), fs::path(systemTemp.path().toStdString()));
    EXPECT_TRUE(fs::is_regular_file(path));

    // Types on which /etc/mime.types and the built-in table agree; a folder's dot does not count.
    std::string types;
    for (const char* file :
         {"/u/notes.txt", "/u/PHOTO.PNG", "a.tar.zip", "/u/README", "/u/f.xyzzy", "/u.dir/README"})
        types += GetContentType(file) + "|";
    EXPECT_EQ(types, "text/plain|image/png|application/zip|application/octet-stream|"
                     "application/octet-stream|application/octet-stream|");
}
