// Path splitting, folder listing and the number, size and duration texts.
#include "platform/Format.h"
#include "platform/modFileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

using namespace modFileSystem;

namespace {

const NumberFormat kGerman{".", ","};
const NumberFormat kEnglish{",", "."};

TEST(PathTest, SplitsAtTheLastSlash) {
    struct Row {
        std::string path;
        std::string name, bareName, ext, extDot, folder;
    };
    const Row rows[] = {
        {"/a/b.tar.gz", "b.tar.gz", "b.tar", "gz", ".gz", "/a"},
        {"/a/README", "README", "README", "", "", "/a"},
        {"README.txt", "README.txt", "README", "txt", ".txt", ""},
        {"/a/b.TXT", "b.TXT", "b", "TXT", ".TXT", "/a"},
        {"/a.b/README", "README", "README", "", "", "/a.b"}, // the dot is in the folder part
        {"/a/b/", "", "", "", "", "/a/b"},
        {"/x.txt", "x.txt", "x", "txt", ".txt", ""},
        {"", "", "", "", "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(GetFileName(r.path), r.name);
        EXPECT_EQ(GetFileName(r.path, true), r.bareName);
        EXPECT_EQ(GetFileExtension(r.path), r.ext);
        EXPECT_EQ(GetFileExtension(r.path, true), r.extDot);
        EXPECT_EQ(GetFolder(r.path), r.folder);
    }
}

TEST(PathTest, AddBackslashAndTrimAtNul) {
    EXPECT_EQ(AddBackslash(""), "/");
    EXPECT_EQ(AddBackslash("/a"), "/a/");
    EXPECT_EQ(AddBackslash("/a/"), "/a/");
    EXPECT_EQ(TrimAtNul(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(TrimAtNul(std::string("\0x", 2)), "");
    EXPECT_EQ(TrimAtNul("abc"), "abc");
}

TEST(ListFilesTest, MatchesAreOneBasedInNameOrderWithFoldersAndWithoutDots) {
    testsupport::TempDir dir;
    for (const char* name :
         {"b.ini", "Zulu.ini", "a.ini", "c.txt", "B.ini", ".hidden.ini", "README", "_x.ini"}) {
        dir.WriteFile(name, "x");
    }
    ASSERT_EQ(::mkdir(dir.FilePath("sub.ini").c_str(), 0700), 0);
    // Letter case does not decide the order ("Zulu" after "sub"), only breaks ties.
    EXPECT_EQ(ListFiles(dir.Path(), "*.ini"),
              (std::vector<std::string>{"", ".hidden.ini", "a.ini", "B.ini", "b.ini", "sub.ini",
                                        "Zulu.ini", "_x.ini"}));
    // The folder may be given with or without the trailing slash.
    EXPECT_EQ(ListFiles(dir.Path() + "/", "?.ini"),
              (std::vector<std::string>{"", "a.ini", "B.ini", "b.ini"}));
    // "*.*" also lists names without a dot; "." and ".." never appear.
    const auto all = ListFiles(dir.Path(), "*.*");
    EXPECT_EQ(all.size(), 10u);
    EXPECT_NE(std::find(all.begin(), all.end(), "README"), all.end());
    // Nothing matching, or no folder, gives the single empty entry.
    EXPECT_EQ(ListFiles(dir.Path(), "*.zip"), std::vector<std::string>{""});
    EXPECT_EQ(ListFiles(dir.Path() + "/missing", "*"), std::vector<std::string>{""});
}

TEST(FormatTest, SizeInWholeKilobytesRoundedUp) {
    struct Row {
        int64_t bytes;
        std::string german, english;
    };
    const Row rows[] = {
        {0, "0 KB", "0 KB"},
        {1, "1 KB", "1 KB"},
        {1024, "1 KB", "1 KB"},
        {1025, "2 KB", "2 KB"},
        {1048576, "1.024 KB", "1,024 KB"},
        {3221225473LL, "3.145.729 KB", "3,145,729 KB"}, // 3 GiB + 1: no 32-bit truncation
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.bytes);
        EXPECT_EQ(FormatSizeKB(r.bytes, kGerman), r.german);
        EXPECT_EQ(FormatSizeKB(r.bytes, kEnglish), r.english);
    }
}

TEST(FormatTest, DurationInHoursMinutesSeconds) {
    struct Row {
        double seconds;
        const char* text;
    };
    const Row rows[] = {
        {0, "00:00:00"},
        {3661, "01:01:01"},
        {360000, "100:00:00"},
        {1.5, "00:00:02"}, // halves to even
        {2.5, "00:00:02"},
        {59.6, "00:01:00"},
        {-5, "00:00:00"},
        {1e300, "277777777777:46:40"}, // held at 10^15 seconds instead of overflowing
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.seconds);
        EXPECT_EQ(FormatDuration(r.seconds), r.text);
    }
}

TEST(FormatTest, NumberPatternsUnderGermanAndEnglishSeparators) {
    struct Row {
        double value;
        std::string intDe, intEn, fixDe, fixEn;
    };
    const Row rows[] = {
        {0, "0", "0", "0,00", "0.00"},
        {999, "999", "999", "999,00", "999.00"},
        {1000, "1.000", "1,000", "1.000,00", "1,000.00"},
        {-1234.5, "-1.235", "-1,235", "-1.234,50", "-1,234.50"},
        {0.005, "0", "0", "0,01", "0.01"},
        {2.675, "3", "3", "2,68", "2.68"}, // rounds the decimal value the user sees
        {999.995, "1.000", "1,000", "1.000,00", "1,000.00"}, // carry into a new group
        {0.5, "1", "1", "0,50", "0.50"},
        {-0.001, "0", "0", "0,00", "0.00"}, // no "-0"
        {1e15, "1.000.000.000.000.000", "1,000,000,000,000,000", "1.000.000.000.000.000,00",
         "1,000,000,000,000,000.00"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.value);
        EXPECT_EQ(FormatInteger(r.value, kGerman), r.intDe);
        EXPECT_EQ(FormatInteger(r.value, kEnglish), r.intEn);
        EXPECT_EQ(FormatFixed2(r.value, kGerman), r.fixDe);
        EXPECT_EQ(FormatFixed2(r.value, kEnglish), r.fixEn);
    }
}

TEST(FormatTest, LocaleWithoutSeparatorsFallsBackToCommaAndPoint) {
    const char* old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    for (const char* name : {"C", "xx_NOWHERE.UTF-8"}) {
        ::setenv("LC_ALL", name, 1);
        const NumberFormat format = NumberFormat::FromLocale();
        EXPECT_EQ(format.group, ",") << name;
        EXPECT_EQ(format.decimal, ".") << name;
    }
    if (old)
        ::setenv("LC_ALL", saved.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
}

} // namespace
