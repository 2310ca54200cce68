#include "platform/modFileSystem.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace modFileSystem;
namespace fs = std::filesystem;

TEST(FileOps, ExistsSizeBeyondFourGiBAndContentTypes) {
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
    // Types on which /etc/mime.types and the built-in table agree; a folder's dot does not count.
    std::string types;
    for (const char* name :
         {"/u/notes.txt", "/u/PHOTO.PNG", "a.tar.zip", "/u/README", "/u/f.xyzzy", "/u.dir/README"})
        types += GetContentType(name) + "|";
    EXPECT_EQ(types, "text/plain|image/png|application/zip|application/octet-stream|"
                     "application/octet-stream|application/octet-stream|");
}
