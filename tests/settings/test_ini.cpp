// The INI store and config.ini: lookups, in-place writes, line endings, atomic saves, file modes
// and the settings record's load and save rules.
#include "settings/IniFile.h"
#include "settings/modConfig.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using modConfig::ReadIniValue;
using modConfig::WriteIniValue;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const char* kMissing = "<missing>";
using Names = std::vector<std::string>;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// The folder's entries, to see that no temporary file was left behind.
Names Entries(const TempDir& dir) {
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ConfigSettings Loaded(const std::string& path) {
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    return settings;
}

TEST(IniReadTest, NamesMatchWithoutLetterCaseAndValuesLoseBlanksAndOneQuotePair) {
    TempDir dir;
    const std::string longValue(1000, 'x');
    std::string text;
    for (const std::string line :
         {"[Main]", "Key=plain", "KEY=second", "  spaced   =   x y   ", "quoted=\"  padded  \"",
          "double=\"\"twice\"\"", "inner=say \"hi\"", "lone=\"", "empty=", "emptyquotes=\"\"",
          "Menu(\"mnuFile\").Caption=&Datei", "umlaut=Größe", "[Other]", "key=other", "[main]"}) {
        text += line + "\r\n";
    }
    const std::string file = dir.WriteFile("a.ini", text + "long=" + longValue); // no final break
    // section, key, value
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"MAIN", "key", "plain"}, // the first of two
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
        {"Main", "long", longValue}, // a repeated section is searched too
        {"Other", "key", "other"},
        {"Main", "missing", kMissing},
        {"Nowhere", "key", kMissing},
    };
    for (const auto& [section, key, value] : rows) {
        EXPECT_EQ(ReadIniValue(file, section, key, kMissing), value) << section << "/" << key;
    }
    EXPECT_EQ(ReadIniValue(dir.FilePath("none.ini"), "Main", "Key", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(dir.Path(), "Main", "Key", kMissing), kMissing); // a folder
}

TEST(IniReadTest, SeesChangesMadeToTheFileBetweenReads) {
    TempDir dir;
    const std::string file = dir.WriteFile("a.ini", "[S]\nk=one\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "one");
    dir.WriteFile("a.ini", "[S]\nk=three\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "three");
    dir.WriteFile("a.ini", "[S]\nk=eight\n"); // same size, maybe within one clock tick
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing, true), "eight");
    ::unlink(file.c_str());
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), kMissing);
}

TEST(IniWriteTest, ReplacesInPlaceAndKeepsEveryOtherLineTheLineEndingsAndByteOrderMark) {
    // name, original, expected
    const std::tuple<const char*, std::string, std::string> rows[] = {
        {"lf",
         "; my settings\n[Main]\nunknown = keep me\n  Language = \"Deutsch\"\nlanguage=second\n\n"
         "# about the next section\n[Proxy]\nport=8080\n",
         "; my settings\n[Main]\nunknown = keep me\n  Language =English\nlanguage=second\nadded=1\n"
         "\n# about the next section\n[Proxy]\nport=8080\n\n[New]\nk=v\n"},
        {"crlf without a final break", "[Main]\r\nlanguage=old\r\n;note\r\n[T]\r\nx=1",
         "[Main]\r\nlanguage=English\r\nadded=1\r\n;note\r\n[T]\r\nx=1\r\n\r\n[New]\r\nk=v\r\n"},
        {"byte order mark", "\xEF\xBB\xBF[Main]\nlanguage=1\n",
         "\xEF\xBB\xBF[Main]\nlanguage=English\nadded=1\n\n[New]\nk=v\n"},
        // Each line keeps its own ending: a CR before the CRLF of a line in an LF file is text.
        // A last line without a break that ends in a CR keeps it when a break is added.
        {"final line ending in a CR", "[Main]\nx=\r",
         "[Main]\nx=\r\r\nLANGUAGE=English\nadded=1\n\n[New]\nk=v\n"},
        {"mixed endings", "[Main]\nlanguage=1\nnote=a\r\r\n[T]\r\nx=1\n",
         "[Main]\nlanguage=English\nnote=a\r\r\nadded=1\n[T]\r\nx=1\n\n[New]\nk=v\n"},
    };
    for (const auto& [name, original, expected] : rows) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string file = dir.WriteFile("a.ini", original);
        ASSERT_TRUE(WriteIniValue(file, "MAIN", "LANGUAGE", "English"));
        ASSERT_TRUE(WriteIniValue(file, "main", "added", "1"));
        ASSERT_TRUE(WriteIniValue(file, "New", "k", "v"));
        EXPECT_EQ(ReadFile(file), expected);
    }
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

TEST(IniWriteTest, FailedSavesLeaveTheDiskAsItWas) {
    const std::function<bool(const std::string&)> saves[] = {
        [](const std::string& path) { return modConfig::SaveConfig(ConfigSettings{}, path); },
        [](const std::string& path) { return WriteIniValue(path, "S", "k", "new"); },
    };
    for (const auto& save : saves) {
        TempDir dir;
        const std::string original = "[S]\nk=old\n";
        const std::string path = dir.WriteFile("config.ini", original);
        // Killed or out of space after the temporary file was written.
        std::string temp;
        modConfig::ini::SetBeforeRenameHook([&temp](const std::string& t) {
            temp = t;
            return false;
        });
        EXPECT_FALSE(save(path));
        modConfig::ini::SetBeforeRenameHook(nullptr);
        EXPECT_FALSE(temp.empty());
        EXPECT_EQ(ReadFile(path), original);
        EXPECT_FALSE(save(dir.FilePath("missing/config.ini")));
        EXPECT_FALSE(save(dir.Path())); // the path is a folder
        EXPECT_EQ(Entries(dir), Names{"config.ini"});
        ASSERT_TRUE(save(path)); // and it goes through once the failure is gone
        EXPECT_NE(ReadFile(path), original);
    }
}

TEST(IniHostileTest, BrokenLinesAndBinaryBytesAreKeptAndNeverMistakenForKeys) {
    TempDir dir;
    const std::string binary("\x00\xff\xfe[\x01=\x02\x00]\n", 10);
    const std::string original = "[Main\n" // a header without "]" opens no section
                                 "x=1\n[]\n" +
                                 binary + "[\n]\n[Main]\nno equals sign\n=orphan value\n" +
                                 std::string("k=\"v\0w\"\n", 8) + std::string(100000, 'x') + "\n";
    const std::string file = dir.WriteFile("bad.ini", original);
    for (const char* key : {"x", "no equals sign", ""}) {
        EXPECT_EQ(ReadIniValue(file, "Main", key, kMissing), kMissing) << key;
    }
    EXPECT_EQ(ReadIniValue(file, "", "", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "Main", "k", kMissing), std::string("v\0w", 3));

    ASSERT_TRUE(WriteIniValue(file, "Main", "k", "new"));
    const size_t keyAt = original.find("k=");
    EXPECT_EQ(ReadFile(file).substr(0, keyAt), original.substr(0, keyAt));
    EXPECT_EQ(ReadIniValue(file, "Main", "k", kMissing), "new");

    ASSERT_TRUE(modConfig::SaveConfig(Loaded(file), file));
    EXPECT_NE(ReadFile(file).find(binary), std::string::npos);
}

TEST(IniHostileTest, AFifoOrAnOversizedFileIsNeitherReadNorReplaced) {
    TempDir dir;
    const std::string fifo = dir.FilePath("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Sparse, so it takes no disk space. Without a bound a file of gigabytes would be read whole.
    const std::string huge = dir.WriteFile("huge.ini", "[Main]\nlanguage=English\n");
    ASSERT_EQ(::truncate(huge.c_str(), off_t{64} << 20), 0);
    for (const std::string& path : {fifo, huge}) {
        SCOPED_TRACE(path);
        struct stat before {};
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        ::alarm(20); // a blocked open would never return; end the program instead of hanging
        EXPECT_EQ(ReadIniValue(path, "Main", "language", kMissing), kMissing);
        EXPECT_EQ(Loaded(path).Language(), "");
        EXPECT_FALSE(modConfig::SaveConfig(ConfigSettings{}, path));
        EXPECT_FALSE(WriteIniValue(path, "Main", "language", "Deutsch"));
        ::alarm(0);
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(std::tie(after.st_ino, after.st_mode, after.st_size),
                  std::tie(before.st_ino, before.st_mode, before.st_size)); // not replaced
    }
    EXPECT_EQ(Entries(dir), (Names{"fifo.ini", "huge.ini"}));

    // A few hundred kilobytes still read; a value that would make the file unreadable is refused.
    const std::string big = dir.WriteFile("big.ini", "[S]\nk=" + std::string(300000, 'v') + "\n");
    EXPECT_EQ(ReadIniValue(big, "S", "k", kMissing).size(), 300000u);
    EXPECT_FALSE(WriteIniValue(big, "S", "k", std::string(2 << 20, 'w')));
    EXPECT_EQ(ReadIniValue(big, "S", "k", kMissing).size(), 300000u);
}

// --- config.ini ----------------------------------------------------------------------------

TEST(ConfigTest, WithoutAFileTheDefaultsHoldAndTheSaveListsEveryKeyKeepingModeAndLink) {
    TempDir dir;
    const std::string path = dir.FilePath("config.ini");
    ASSERT_TRUE(modConfig::SaveConfig(Loaded(path), path));
    EXPECT_EQ(ModeOf(path), 0600u); // it holds passwords
    std::string columns;
    for (const char* n :
         {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12", "13"}) {
        columns += std::string("column_") + n + "=75\n";
    }
    EXPECT_EQ(ReadFile(path),
              "[Main]\nwindow_state=0\ndialog_path=\nlog_file_path=\nlanguage=\n\n"
              "[Upload]\nremove_complete_files=0\nbin_layer_id=\ndescription=\npassword=\n\n"
              "[Proxy]\nhostname=\nport=8080\nusername=\npassword=\nuse=0\n\n"
              "[Premium]\nuse=0\nusername=\npassword=\n\n[Listview]\n" +
                  columns + "\n[Statistic]\ncount=0\nsize=0\n");

    // An existing file keeps its mode, also when saved through a link, which stays a link.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string link = dir.FilePath("link.ini");
    ASSERT_EQ(::symlink("config.ini", link.c_str()), 0);
    ConfigSettings settings = Loaded(link);
    settings.SetLanguage("Deutsch");
    ASSERT_TRUE(modConfig::SaveConfig(settings, link));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(ReadIniValue(path, "Main", "language", kMissing), "Deutsch");
}

TEST(ConfigTest, PortOutsideItsRangeSwitchesTheProxyOff) {
    // stored port, then use and port
    const std::tuple<const char*, bool, int32_t> rows[] = {
        {"0", false, 8080},     {"70000", false, 8080}, {"", false, 8080},
        {"abc", false, 8080},   {"-1", false, 8080},    {"  3128  ", true, 3128},
        {"65535", true, 65535}, {"1", true, 1},         {"99999999999", false, 8080},
    };
    for (const auto& [stored, use, port] : rows) {
        SCOPED_TRACE(stored);
        TempDir dir;
        const std::string path =
            dir.WriteFile("config.ini", std::string("[Proxy]\nuse=1\nport=") + stored + "\n");
        const ConfigSettings settings = Loaded(path);
        EXPECT_EQ(settings.ProxyUse(), use);
        EXPECT_EQ(settings.ProxyPort(), port);
        ASSERT_TRUE(modConfig::SaveConfig(settings, path));
        EXPECT_EQ(ReadIniValue(path, "Proxy", "use", kMissing), use ? "1" : "0");
        EXPECT_EQ(ReadIniValue(path, "Proxy", "port", kMissing), std::to_string(port));
    }
}

TEST(ConfigTest, NumbersBooleansAndTextsSurviveLoadAndSave) {
    const std::string description(300, 'd');
    // section, key, the value stored, the value after a load and a save
    const std::tuple<const char*, const char*, std::string, std::string> rows[] = {
        {"Main", "window_state", " 2 ", "2"},
        {"Upload", "remove_complete_files", "2", "1"},
        {"Upload", "description", description, description},
        {"Premium", "use", "-1", "1"},
        {"Premium", "password", "\"  secret \"", "  secret "},
        {"Listview", "column_01", "120px", "120"}, // the leading number
        {"Listview", "column_02", "2.5", "2"},     // halves go to the even neighbour
        {"Listview", "column_03", "3.5", "4"},
        {"Listview", "column_04", "1e2", "100"},
        {"Listview", "column_05", "x", "0"},    // not a number: 0, passed on unchanged
        {"Listview", "column_06", "1 2", "12"}, // blanks inside the number are skipped
        {"Statistic", "count", "12", "12"},
        {"Statistic", "size", "123456789012", "123456789012"},
    };
    TempDir dir;
    std::string text;
    for (const auto& [section, key, stored, saved] : rows) {
        text += std::string("[") + section + "]\n" + key + "=" + stored + "\n";
    }
    const std::string path = dir.WriteFile("config.ini", text);
    ConfigSettings settings = Loaded(path);
    EXPECT_EQ(settings.StatisticSize(), 123456789012);
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    for (const auto& [section, key, stored, saved] : rows) {
        EXPECT_EQ(ReadIniValue(path, section, key, kMissing), saved) << key;
    }
    settings.SetStatisticSize(9007199254740993LL); // 2^53 + 1: beyond a double's precision
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    EXPECT_EQ(Loaded(path).StatisticSize(), 9007199254740993LL);
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
    EXPECT_TRUE(modConfig::SaveConfig(ConfigSettings{}, user));

    if (old) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

} // namespace
