// Path splitting, folder listing and the number, size and duration texts.
#include "platform/Format.h"
#include "platform/modFileSystem.h"
#include "support/Fixed.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cstdlib>

using namespace modFileSystem;

TEST(Paths, SplitAtTheLastSlashAndListOneBasedInNameOrder) {
    const std::pair<std::string, const char*> rows[] = {
        {"/a/b.tar.gz", "b.tar.gz|b.tar|gz|.gz|/a"},
        {"/a/README", "README|README|||/a"},
        {"README.txt", "README.txt|README|txt|.txt|"},
        {"/a/b.TXT", "b.TXT|b|TXT|.TXT|/a"},
        {"/a.b/README", "README|README|||/a.b"},
        {"/a/b/", "||||/a/b"},
        {"/x.txt", "x.txt|x|txt|.txt|"},
        {"", "||||"}};
    for (const auto& [path, parts] : rows)
        EXPECT_EQ(GetFileName(path) + "|" + GetFileName(path, true) + "|" + GetFileExtension(path) +
                      "|" + GetFileExtension(path, true) + "|" + GetFolder(path),
                  parts);
    EXPECT_EQ(AddBackslash("") + AddBackslash("/a") + AddBackslash("/a/"), "//a//a/");
    EXPECT_EQ(TrimAtNul(std::string("ab\0cd", 5)) + TrimAtNul(std::string("\0x", 2)) + "|" +
                  TrimAtNul("abc"),
              "ab|abc");

    QTemporaryDir dir;
    for (const char* name :
         {"b.ini", "Zulu.ini", "a.ini", "c.txt", "B.ini", ".hidden.ini", "README", "_x.ini"})
        testsupport::WriteFile(dir, name, "x");
    QDir(dir.path()).mkdir("sub.ini");
    const std::string path = dir.path().toStdString();
    // Letter case does not decide the order ("Zulu" after "sub"), only breaks ties; "." and
    // ".." never appear; nothing matching gives the single empty entry.
    using List = std::vector<std::string>;
    EXPECT_EQ(ListFiles(path, "*.ini"), (List{"", ".hidden.ini", "a.ini", "B.ini", "b.ini",
                                              "sub.ini", "Zulu.ini", "_x.ini"}));
    EXPECT_EQ(ListFiles(path + "/", "?.ini"), (List{"", "a.ini", "B.ini", "b.ini"}));
    EXPECT_EQ(ListFiles(path, "*.*").size(), 10u) << "names without a dot too";
    EXPECT_EQ(ListFiles(path, "*.zip"), List{""});
    EXPECT_EQ(ListFiles(path + "/missing", "*"), List{""});
}

TEST(Format, NumbersSizesAndDurationsUnderGermanAndEnglishSeparators) {
    const NumberFormat de = testsupport::GermanFormat(), en;
    const auto both = [&](const std::function<std::string(const NumberFormat&)>& f) {
        return f(de) + " " + f(en);
    };
    const std::pair<double, const char*> numbers[] = {
        {0, "0 0 0,00 0.00"},
        {999, "999 999 999,00 999.00"},
        {1000, "1.000 1,000 1.000,00 1,000.00"},
        {-1234.5, "-1.235 -1,235 -1.234,50 -1,234.50"},
        {0.005, "0 0 0,01 0.01"},
        {2.675, "3 3 2,68 2.68"},                   // rounds the decimal value the user sees
        {999.995, "1.000 1,000 1.000,00 1,000.00"}, // carry into a new group
        {0.5, "1 1 0,50 0.50"},
        {-0.001, "0 0 0,00 0.00"}, // no "-0"
        {1e15, "1.000.000.000.000.000 1,000,000,000,000,000 1.000.000.000.000.000,00 "
               "1,000,000,000,000,000.00"}};
    for (const auto& [value, text] : numbers)
        EXPECT_EQ(both([&](auto& f) { return FormatInteger(value, f); }) + " " +
                      both([&](auto& f) { return FormatFixed2(value, f); }),
                  text);
    // Whole KB rounded up; 3 GiB + 1 shows no 32-bit truncation.
    const std::pair<int64_t, const char*> sizes[] = {{0, "0 KB 0 KB"},
                                                     {1, "1 KB 1 KB"},
                                                     {1024, "1 KB 1 KB"},
                                                     {1025, "2 KB 2 KB"},
                                                     {1048576, "1.024 KB 1,024 KB"},
                                                     {3221225473LL, "3.145.729 KB 3,145,729 KB"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(both([&](auto& f) { return FormatSizeKB(bytes, f); }), text);
    // Halves round to even; 1e300 is held at 10^15 seconds instead of overflowing.
    const std::pair<double, const char*> durations[] = {
        {0, "00:00:00"},       {3661, "01:01:01"},
        {360000, "100:00:00"}, {1.5, "00:00:02"},
        {2.5, "00:00:02"},     {59.6, "00:01:00"},
        {-5, "00:00:00"},      {1e300, "277777777777:46:40"}};
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(FormatDuration(seconds), text) << seconds;

    // A locale without separators falls back to comma and point.
    const QByteArray saved = qgetenv("LC_ALL");
    for (const char* name : {"C", "xx_NOWHERE.UTF-8"}) {
        qputenv("LC_ALL", name);
        const NumberFormat format = NumberFormat::FromLocale();
        EXPECT_EQ(format.group + format.decimal, ",.") << name;
    }
    saved.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", saved);
}
