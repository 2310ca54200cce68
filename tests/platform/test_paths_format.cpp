#include "platform/Format.h"
#include "platform/modFileSystem.h"
#include "support/Fixed.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace modFileSystem;

TEST(Paths, SplitAtTheLastSlashAndListOneBasedInNameOrder) {
    const std::pair<std::string, const char*> rows[] = {
        {"/a/b.tar.gz", "b.tar.gz|b.tar|gz|.gz|/a"},
        {"/a/README", "README|README|||/a"},
        {"README.txt", "README.txt|README|txt|.txt|"},
        {"/a/b.TXT", "b.TXT|b|TXT|.TXT|/a"},
        {"/a.b/README", "README|README|||/a.b"},
        {"/a/b/", "||||/a/b"},
        {"", "||||"}};
    for (const auto& [path, parts] : rows)
        EXPECT_EQ(GetFileName(path) + "|" + GetFileName(path, true) + "|" + GetFileExtension(path) +
                      "|" + GetFileExtension(path, true) + "|" + GetFolder(path),
                  parts);
    EXPECT_EQ(AddBackslash("") + AddBackslash("/a") + AddBackslash("/a/") + "|" +
                  TrimAtNul(std::string("ab\0cd", 5)) + TrimAtNul(std::string("\0x", 2)) +
                  TrimAtNul("c"),
              "//a//a/|abc");

    QTemporaryDir dir;
    for (const char* name :
         {"b.ini", "Zulu.ini", "a.ini", "c.txt", "B.ini", ".hidden.ini", "README", "_x.ini"})
        testsupport::WriteFile(dir, name, "x");
    QDir(dir.path()).mkdir("sub.ini");
    const std::string path = dir.path().toStdString();
    // Letter case does not decide the order ("Zulu" after "sub"), only breaks ties; "." and
    // ".." never appear; nothing matching gives the single empty entry.
    const auto list = [](const std::string& folder, const char* pattern) {
        std::string names;
        for (const std::string& name : ListFiles(folder, pattern))
            names += name + ",";
        return names + "|";
    };
    EXPECT_EQ(list(path, "*.ini") + list(path + "/", "?.ini") + list(path, "*.zip") +
                  list(path + "/missing", "*"),
              ",.hidden.ini,a.ini,B.ini,b.ini,sub.ini,Zulu.ini,_x.ini,|,a.ini,B.ini,b.ini,|,|,|");
}

TEST(Format, NumbersSizesAndDurationsUnderGermanAndEnglishSeparators) {
    const NumberFormat de = testsupport::GermanFormat(), en;
    const auto both = [&](const std::function<std::string(const NumberFormat&)>& f) {
        return f(de) + " " + f(en);
    };
    const std::pair<double, const char*> numbers[] = {
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
    // Whole KB rounded up, with no 32-bit truncation; durations with halves to even and held at
    // 10^15 seconds instead of overflowing.
    std::string sizes, durations;
    for (const int64_t bytes : {0LL, 1LL, 1024LL, 1025LL, 1048576LL, 3221225473LL})
        sizes += both([&](auto& f) { return FormatSizeKB(bytes, f); }) + "|";
    EXPECT_EQ(sizes, "0 KB 0 KB|1 KB 1 KB|1 KB 1 KB|2 KB 2 KB|1.024 KB 1,024 KB|3.145.729 KB "
                     "3,145,729 KB|");
    for (const double seconds : {0.0, 3661.0, 360000.0, 1.5, 2.5, 59.6, -5.0, 1e300})
        durations += FormatDuration(seconds) + "|";
    EXPECT_EQ(durations, "00:00:00|01:01:01|100:00:00|00:00:02|00:00:02|00:01:00|00:00:00|"
                         "277777777777:46:40|");
}
