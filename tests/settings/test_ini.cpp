// The INI store and config.ini: lookups, in-place writes, line endings, atomic saves, file modes
// and the settings record's load and save rules.
#include "settings/IniFile.h"
#include "settings/modConfig.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using modConfig::ReadIniValue;
using modConfig::WriteIniValue;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const char* kMissing = "<missing>";

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Names of the folder's entries, to see that no temporary file was left behind.
std::vector<std::string> Entries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Makes every replace fail between writing the temporary file and renaming it.
struct FailingRename {
    std::string tempSeen;
    FailingRename() {
        modConfig::ini::SetBeforeRenameHook([this](const std::string& temp) {
            tempSeen = temp;
            return false;
        });
    }
    ~FailingRename() { modConfig::ini::SetBeforeRenameHook(nullptr); }
};

TEST(IniReadTest, NamesMatchWithoutLetterCaseAndValuesLoseBlanksAndOneQuotePair) {
    TempDir dir;
    const std::string file = dir.WriteFile("a.ini", "[Main]\n"
                                                    "Key=plain\n"
                                                    "  spaced   =   x y   \n"
                                                    "quoted=\"  padded  \"\n"
                                                    "double=\"\"twice\"\"\n"
                                                    "inner=say \"hi\"\n"
                                                    "lone=\"\n"
                                                    "empty=\n"
                                                    "emptyquotes=\"\"\n"
                                                    "Menu(\"mnuFile\").Caption=&Datei\n"
                                                    "umlaut=Größe\n"
                                                    "[Other]\n"
                                                    "key=other\n");
    struct Row {
        const char* section;
        const char* key;
        const char* value;
    };
    const Row rows[] = {
        {"Main", "Key", "plain"},
        {"MAIN", "key", "plain"},
        {"main", "KEY", "plain"},
        {"Main", "spaced", "x y"},
        {"Main", "quoted", "  padded  "},
        {"Main", "double", "\"twice\""},
        {"Main", "inner", "say \"hi\""},
        {"Main", "lone", "\""},
        {"Main", "empty", ""}, // present and empty: not the default
        {"Main", "emptyquotes", ""},
        {"Main", "menu(\"MNUFILE\").caption", "&Datei"},
        {"Main", "Menu('mnuFile').Caption", kMissing}, // otherwise literal
        {"Main", "UMLAUT", "Größe"},
        {"Other", "key", "other"},
        {"Main", "missing", kMissing},
        {"Nowhere", "key", kMissing},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.section) + "/" + r.key);
        EXPECT_EQ(ReadIniValue(file, r.section, r.key, kMissing), r.value);
    }
    EXPECT_EQ(ReadIniValue(dir.FilePath("none.ini"), "Main", "Key", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(dir.Path(), "Main", "Key", kMissing), kMissing); // a folder
}

TEST(IniReadTest, LongValuesCrlfAndTheFirstOfTwoKeys) {
    TempDir dir;
    const std::string longValue(1000, 'x');
    const std::string file = dir.WriteFile(
        "a.ini", "[S]\r\nk=first\r\nK=second\r\nlong=" + longValue + "\r\n[S]\r\nlate=1");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "first");
    EXPECT_EQ(ReadIniValue(file, "S", "long", kMissing), longValue);
    EXPECT_EQ(ReadIniValue(file, "S", "late", kMissing), "1"); // a repeated section is searched too
}

TEST(IniReadTest, SeesChangesMadeToTheFileBetweenReads) {
    TempDir dir;
    const std::string file = dir.WriteFile("a.ini", "[S]\nk=one\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "one");
    dir.WriteFile("a.ini", "[S]\nk=three\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "three");
    // A change of the same size within one clock tick is seen at the latest after a flush.
    dir.WriteFile("a.ini", "[S]\nk=seven\n");
    EXPECT_TRUE(modConfig::FlushIniFile(file));
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "seven");
    dir.WriteFile("a.ini", "[S]\nk=eight\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing, true), "eight");
    ::unlink(file.c_str());
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), kMissing);
}

TEST(IniWriteTest, ReplacesInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    const std::string file = dir.WriteFile("a.ini", "; my settings\n"
                                                    "[Main]\n"
                                                    "unknown = keep me\n"
                                                    "  Language = \"Deutsch\"\n"
                                                    "language=second\n"
                                                    "\n"
                                                    "# about the next section\n"
                                                    "[Proxy]\n"
                                                    "port=8080\n");
    ASSERT_TRUE(WriteIniValue(file, "MAIN", "LANGUAGE", "English"));
    ASSERT_TRUE(WriteIniValue(file, "main", "added", "1"));
    ASSERT_TRUE(WriteIniValue(file, "New", "k", "v"));
    EXPECT_EQ(ReadFile(file), "; my settings\n"
                              "[Main]\n"
                              "unknown = keep me\n"
                              "  Language =English\n"
                              "language=second\n"
                              "added=1\n"
                              "\n"
                              "# about the next section\n"
                              "[Proxy]\n"
                              "port=8080\n"
                              "\n"
                              "[New]\n"
                              "k=v\n");
    EXPECT_EQ(ReadIniValue(file, "Main", "language", kMissing), "English");
}

TEST(IniWriteTest, CreatesTheFileAndKeepsLineEndingsAndByteOrderMark) {
    TempDir dir;
    const std::string created = dir.FilePath("new.ini");
    ASSERT_TRUE(WriteIniValue(created, "S", "k", "v"));
    EXPECT_EQ(ReadFile(created), "[S]\nk=v\n");
    EXPECT_EQ(ModeOf(created), 0600u);

    const std::string crlf = dir.WriteFile("crlf.ini", "[S]\r\nk=old\r\n;note\r\n[T]\r\nx=1");
    ASSERT_TRUE(WriteIniValue(crlf, "S", "k", "new"));
    ASSERT_TRUE(WriteIniValue(crlf, "T", "y", "2"));
    EXPECT_EQ(ReadFile(crlf), "[S]\r\nk=new\r\n;note\r\n[T]\r\nx=1\r\ny=2\r\n");
    EXPECT_EQ(ReadIniValue(crlf, "T", "x", kMissing), "1");

    const std::string bom = dir.WriteFile("bom.ini", "\xEF\xBB\xBF[S]\nk=1\n");
    EXPECT_EQ(ReadIniValue(bom, "S", "k", kMissing), "1");
    ASSERT_TRUE(WriteIniValue(bom, "S", "k", "2"));
    EXPECT_EQ(ReadFile(bom), "\xEF\xBB\xBF[S]\nk=2\n");
}

TEST(IniWriteTest, ValuesReadBackAsWrittenAndCannotAddLines) {
    TempDir dir;
    const std::string file = dir.FilePath("a.ini");
    for (const std::string value : {"  blanks  ", "\"quoted\"", "\"", "a=b", "x\"y", ""}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(WriteIniValue(file, "S", "k", value));
        EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), value);
    }
    // A line break would start a new line that reads as a section or key.
    ASSERT_TRUE(WriteIniValue(file, "S", "desc", "one\n[Proxy]\r\nuse=1"));
    EXPECT_EQ(ReadIniValue(file, "Proxy", "use", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "S", "desc", kMissing), "one [Proxy]  use=1");
}

TEST(IniWriteTest, FailuresLeaveTheOldFileAsItWas) {
    TempDir dir;
    const std::string original = "[S]\nk=old\n";
    const std::string file = dir.WriteFile("a.ini", original);
    {
        FailingRename failing;
        EXPECT_FALSE(WriteIniValue(file, "S", "k", "new"));
        EXPECT_FALSE(failing.tempSeen.empty());
    }
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"a.ini"});
    EXPECT_FALSE(WriteIniValue(dir.FilePath("no/such/a.ini"), "S", "k", "v"));
    EXPECT_FALSE(WriteIniValue(dir.Path(), "S", "k", "v")); // the path is a folder
}

TEST(IniHostileTest, BrokenLinesAndBinaryBytesAreKeptAndNeverMistakenForKeys) {
    TempDir dir;
    const std::string binary("\x00\xff\xfe[\x01=\x02\x00]\n", 10);
    const std::string original = "[Main\n" // a header without "]" opens no section
                                 "x=1\n"
                                 "no equals sign\n" // a line without "="
                                 "=orphan value\n"  // a key without a name
                                 "[]\n" +
                                 binary + "[\n]\n[Main]\n" + std::string("k=\"v\0w\"\n", 8) +
                                 std::string(100000, 'x') + "\n";
    const std::string file = dir.WriteFile("bad.ini", original);
    EXPECT_EQ(ReadIniValue(file, "Main", "x", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "Main", "no equals sign", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "Main", "", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "", "", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "Main", "k", kMissing), std::string("v\0w", 3));

    ASSERT_TRUE(WriteIniValue(file, "Main", "k", "new"));
    const std::string after = ReadFile(file);
    EXPECT_EQ(after.substr(0, original.find("k=")), original.substr(0, original.find("k=")));
    EXPECT_EQ(ReadIniValue(file, "Main", "k", kMissing), "new");

    ConfigSettings settings;
    modConfig::LoadConfig(settings, file);
    EXPECT_EQ(settings.ProxyPort(), 8080);
    ASSERT_TRUE(modConfig::SaveConfig(settings, file));
    EXPECT_NE(ReadFile(file).find(binary), std::string::npos);
}

TEST(IniHostileTest, AnOversizedFileIsNeitherReadNorReplaced) {
    // Sparse, so it takes no disk space. Without a bound, a file of gigabytes would be read whole.
    TempDir dir;
    const std::string path = dir.WriteFile("config.ini", "[Main]\nlanguage=English\n");
    const off_t size = off_t{64} << 20;
    ASSERT_EQ(::truncate(path.c_str(), size), 0);

    EXPECT_EQ(ReadIniValue(path, "Main", "language", kMissing), kMissing);
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    EXPECT_EQ(settings.Language(), "");
    EXPECT_EQ(settings.ProxyPort(), 8080);
    EXPECT_FALSE(modConfig::SaveConfig(settings, path));
    EXPECT_FALSE(WriteIniValue(path, "Main", "language", "Deutsch"));
    EXPECT_EQ(std::filesystem::file_size(path), static_cast<uintmax_t>(size));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"config.ini"});

    // A file of a few hundred kilobytes still reads; a value that would make the file
    // unreadable is refused and the file keeps what it had.
    const std::string big = dir.WriteFile("big.ini", "[S]\nk=" + std::string(300000, 'v') + "\n");
    EXPECT_EQ(ReadIniValue(big, "S", "k", kMissing).size(), 300000u);
    EXPECT_FALSE(WriteIniValue(big, "S", "k", std::string(2 << 20, 'w')));
    EXPECT_EQ(ReadIniValue(big, "S", "k", kMissing).size(), 300000u);
}

TEST(IniHostileTest, AFifoInPlaceOfTheFileDoesNotHangTheSave) {
    TempDir dir;
    const std::string path = dir.FilePath("config.ini");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    ::alarm(20); // a blocked open would never return; end the program instead of hanging
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    EXPECT_EQ(settings.ProxyPort(), 8080);
    EXPECT_FALSE(modConfig::SaveConfig(settings, path));
    EXPECT_FALSE(WriteIniValue(path, "S", "k", "v"));
    EXPECT_EQ(ReadIniValue(path, "S", "k", kMissing), kMissing);
    ::alarm(0);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// --- config.ini ----------------------------------------------------------------------------

TEST(ConfigTest, WithoutAFileTheDefaultsHoldAndTheSaveListsEveryKey) {
    TempDir dir;
    const std::string path = dir.FilePath("config.ini");
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    EXPECT_EQ(settings.WindowState(), 0);
    EXPECT_EQ(settings.Language(), "");
    EXPECT_FALSE(settings.ProxyUse());
    EXPECT_EQ(settings.ProxyPort(), 8080);
    EXPECT_FALSE(settings.PremiumUse());
    EXPECT_FALSE(settings.RemoveCompleteFiles());
    for (int i = 0; i < ConfigSettings::ColumnCount; ++i) {
        EXPECT_EQ(settings.ColumnWidth(i), 75) << i;
    }
    EXPECT_EQ(settings.StatisticCount(), 0);
    EXPECT_EQ(settings.StatisticSize(), 0);

    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    EXPECT_EQ(ModeOf(path), 0600u); // it holds passwords
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"Main", {"window_state", "dialog_path", "log_file_path", "language"}},
        {"Upload", {"remove_complete_files", "bin_layer_id", "description", "password"}},
        {"Proxy", {"hostname", "port", "username", "password", "use"}},
        {"Premium", {"use", "username", "password"}},
        {"Listview",
         {"column_01", "column_02", "column_03", "column_04", "column_05", "column_06", "column_07",
          "column_08", "column_09", "column_10", "column_11", "column_12", "column_13"}},
        {"Statistic", {"count", "size"}},
    };
    const std::string text = ReadFile(path);
    size_t last = 0;
    for (const auto& [section, keys] : expected) {
        const size_t at = text.find("[" + section + "]");
        ASSERT_NE(at, std::string::npos) << section;
        EXPECT_GE(at, last) << section << " out of order";
        last = at;
        for (const std::string& key : keys) {
            EXPECT_NE(ReadIniValue(path, section, key, kMissing), kMissing) << section << key;
        }
    }
    EXPECT_EQ(ReadIniValue(path, "Proxy", "port", kMissing), "8080");
    EXPECT_EQ(ReadIniValue(path, "Listview", "column_13", kMissing), "75");
    EXPECT_EQ(ReadIniValue(path, "Premium", "use", kMissing), "0");
}

TEST(ConfigTest, PortOutsideItsRangeSwitchesTheProxyOff) {
    struct Row {
        const char* stored;
        bool use;
        int32_t port;
    };
    const Row rows[] = {
        {"0", false, 8080},     {"70000", false, 8080}, {"", false, 8080},
        {"abc", false, 8080},   {"-1", false, 8080},    {"  3128  ", true, 3128},
        {"65535", true, 65535}, {"1", true, 1},         {"99999999999", false, 8080},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.stored);
        TempDir dir;
        const std::string path =
            dir.WriteFile("config.ini", std::string("[Proxy]\nuse=1\nport=") + r.stored + "\n");
        ConfigSettings settings;
        modConfig::LoadConfig(settings, path);
        EXPECT_EQ(settings.ProxyUse(), r.use);
        EXPECT_EQ(settings.ProxyPort(), r.port);
        ASSERT_TRUE(modConfig::SaveConfig(settings, path));
        EXPECT_EQ(ReadIniValue(path, "Proxy", "use", kMissing), r.use ? "1" : "0");
        EXPECT_EQ(ReadIniValue(path, "Proxy", "port", kMissing), std::to_string(r.port));
    }
}

TEST(ConfigTest, NumbersBooleansAndLongTextsSurviveLoadAndSave) {
    TempDir dir;
    const std::string description(300, 'd');
    const std::string path =
        dir.WriteFile("config.ini", "[Main]\nwindow_state= 2 \nlanguage=English\n"
                                    "[Upload]\nremove_complete_files=2\n"
                                    "description=" +
                                        description +
                                        "\n"
                                        "[Premium]\nuse=-1\npassword=\"  secret \"\n"
                                        "[Listview]\ncolumn_01=120px\ncolumn_02=2.5\n"
                                        "column_03=3.5\ncolumn_04=1e2\ncolumn_05=x\n"
                                        "[Statistic]\ncount=12\nsize=123456789012\n");
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    EXPECT_EQ(settings.WindowState(), 2);
    EXPECT_EQ(settings.Language(), "English");
    EXPECT_TRUE(settings.RemoveCompleteFiles());
    EXPECT_EQ(settings.UploadDescription(), description);
    EXPECT_TRUE(settings.PremiumUse());
    EXPECT_EQ(settings.PremiumPassword(), "  secret ");
    EXPECT_EQ(settings.ColumnWidth(0), 120); // leading number
    EXPECT_EQ(settings.ColumnWidth(1), 2);   // halves go to the even neighbour
    EXPECT_EQ(settings.ColumnWidth(2), 4);
    EXPECT_EQ(settings.ColumnWidth(3), 100);
    EXPECT_EQ(settings.ColumnWidth(4), 0); // not a number: 0, passed on unchanged
    EXPECT_EQ(settings.ColumnWidth(5), 75);
    EXPECT_EQ(settings.StatisticCount(), 12);
    EXPECT_EQ(settings.StatisticSize(), 123456789012);

    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    EXPECT_EQ(ReadIniValue(path, "Upload", "remove_complete_files", kMissing), "1");
    EXPECT_EQ(ReadIniValue(path, "Premium", "use", kMissing), "1");
    EXPECT_EQ(ReadIniValue(path, "Statistic", "count", kMissing), "12");
    EXPECT_EQ(ReadIniValue(path, "Statistic", "size", kMissing), "123456789012");

    ConfigSettings again;
    modConfig::LoadConfig(again, path);
    EXPECT_EQ(again.UploadDescription(), description);
    EXPECT_EQ(again.PremiumPassword(), "  secret ");
    EXPECT_EQ(again.StatisticSize(), 123456789012);
}

TEST(ConfigTest, SizesBeyondDoublePrecisionStayExact) {
    TempDir dir;
    const std::string path = dir.FilePath("config.ini");
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    settings.SetStatisticSize(9007199254740993LL); // 2^53 + 1
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    ConfigSettings loaded;
    modConfig::LoadConfig(loaded, path);
    EXPECT_EQ(loaded.StatisticSize(), 9007199254740993LL);
}

TEST(ConfigTest, SaveKeepsForeignLinesTheModeAndALink) {
    TempDir dir;
    const std::string real = dir.WriteFile("real.ini", "; hand-written\n[Service]\n"
                                                       "base_url=http://example.test/\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const std::string link = dir.FilePath("config.ini");
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    ConfigSettings settings;
    modConfig::LoadConfig(settings, link);
    settings.SetLanguage("Deutsch");
    ASSERT_TRUE(modConfig::SaveConfig(settings, link));

    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ModeOf(real), 0640u); // neither widened nor changed
    EXPECT_EQ(ReadIniValue(real, "Main", "language", kMissing), "Deutsch");
    EXPECT_EQ(ReadIniValue(real, "Service", "base_url", kMissing), "http://example.test/");
    EXPECT_EQ(ReadFile(real).rfind("; hand-written\n", 0), 0u);
}

TEST(ConfigTest, AFailedSaveLosesNothingOnDisk) {
    TempDir dir;
    const std::string original = "[Main]\nlanguage=English\n[Statistic]\ncount=5\n";
    const std::string path = dir.WriteFile("config.ini", original);
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    settings.SetStatisticCount(6);
    {
        FailingRename failing; // killed or out of space after the temporary file was written
        EXPECT_FALSE(modConfig::SaveConfig(settings, path));
    }
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"config.ini"});

    EXPECT_FALSE(modConfig::SaveConfig(settings, dir.FilePath("missing/config.ini")));
    EXPECT_FALSE(std::filesystem::exists(dir.FilePath("missing")));
    const std::string folder = dir.FilePath("folder.ini");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    EXPECT_FALSE(modConfig::SaveConfig(settings, folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // And the save goes through once the failure is gone.
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    EXPECT_EQ(ReadIniValue(path, "Statistic", "count", kMissing), "6");
}

TEST(ConfigTest, ConfigFilePathPrefersTheProgramFolder) {
    TempDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir.FilePath("xdg").c_str(), 1);

    EXPECT_EQ(modConfig::ConfigFilePath(dir.Path()), dir.FilePath("config.ini"));
    EXPECT_EQ(modConfig::ConfigFilePath(dir.Path() + "/"), dir.FilePath("config.ini"));
    // A program folder we cannot write to (here: one that is gone) sends it to the user's folder,
    // which the first save creates.
    const std::string user = modConfig::ConfigFilePath(dir.FilePath("gone"));
    EXPECT_EQ(user, dir.FilePath("xdg/vostrand-uploader/config.ini"));
    EXPECT_EQ(modConfig::UserConfigFolder(), dir.FilePath("xdg/vostrand-uploader"));
    ConfigSettings settings;
    modConfig::LoadConfig(settings, user);
    ASSERT_TRUE(modConfig::SaveConfig(settings, user));
    EXPECT_EQ(ModeOf(user), 0600u);

    if (old) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

} // namespace
