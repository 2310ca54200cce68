#include "settings/IniFile.h"
#include "settings/modConfig.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QScopeGuard>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
using modConfig::WriteIniValue;
using namespace testsupport;

namespace {

const std::string kMissing = "<missing>";

std::string Read(const std::string& file, const std::string& section, const std::string& key) {
    return modConfig::ReadIniValue(file, section, key, kMissing);
}

ConfigSettings Loaded(const std::string& path) {
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    return settings;
}

TEST(Ini, NamesMatchWithoutLetterCaseAndValuesLoseBlanksAndOneQuotePair) {
    QTemporaryDir dir;
    // clang-format off
    const std::string file = WriteFile(dir, "a.ini",
        "[Broken\r\nx=1\r\n=orphan\r\n[Main]\r\nKey=plain\r\nKEY=second\r\n"
        "  spaced   =   x y   \r\nquoted=\"  padded  \"\r\ndouble=\"\"twice\"\"\r\nlone=\"\r\n"
        "empty=\r\nMenu(\"mnuFile\").Caption=&Datei\r\nno equals sign\r\n[Other]\r\nkey=other\r\n"
        "[main]\r\nnul=\"v" + std::string(1, '\0') + "w\"\r\nlong=" +
        std::string(1000, 'x')); // no final break
    // section, key, value; "[Broken" opens no section, a line without a name or "=" is no key.
    const char* rows[][3] = {{"MAIN", "key", "plain"}, {"Main", "spaced", "x y"},
        {"Main", "Menu('mnuFile').Caption", "<missing>"}, {"Main", "no equals sign", "<missing>"},
        {"Main", "menu(\"MNUFILE\").caption", "&Datei"}, {"Main", "double", "\"twice\""},
        {"Main", "quoted", "  padded  "}, {"Broken", "x", "<missing>"}, {"Other", "key", "other"},
        {"Main", "empty", ""}, {"", "", "<missing>"}, {"Main", "lone", "\""}};
    // clang-format on
    for (const auto& [section, key, value] : rows)
        EXPECT_EQ(Read(file, section, key), value) << key;
    EXPECT_EQ(Read(file, "Main", "long") + Read(file, "Main", "nul") +
                  Read(file + "x", "Main", "Key") + Read(dir.path().toStdString(), "Main", "Key"),
              std::string(1000, 'x') + "v\0w"s + kMissing + kMissing);
    // Changes made to the file between reads are seen, even of the same size.
    WriteFile(dir, "a.ini", "[S]\nk=one\n");
    EXPECT_EQ(Read(file, "S", "k"), "one");
    WriteFile(dir, "a.ini", "[S]\nk=two\n");
    EXPECT_EQ(modConfig::ReadIniValue(file, "S", "k", kMissing, true), "two");
    ::unlink(file.c_str());
    EXPECT_EQ(Read(file, "S", "k"), kMissing);
}

TEST(Ini, WritesInPlaceKeepingEveryOtherByte) {
    // Before and after writing Main/language, Main/added and New/k; each line keeps its ending.
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"; my settings\n[Main]\nunknown = keep me\n  Language = \"Deutsch\"\nlanguage=second\n\n"
         "# about the next section\n[Proxy]\nport=8080\n",
         "; my settings\n[Main]\nunknown = keep me\n  Language =English\nlanguage=second\nadded=1\n"
         "\n# about the next section\n[Proxy]\nport=8080\n\n[New]\nk=v\n"},
        {"[Main]\r\nlanguage=old\r\n;note\r\n[T]\r\nx=1", // no final break
         "[Main]\r\nlanguage=English\r\nadded=1\r\n;note\r\n[T]\r\nx=1\r\n\r\n[New]\r\nk=v\r\n"},
        {"\xEF\xBB\xBF[Main]\nlanguage=1\n[\x01=\x02\x00]\xff\n"s,
         "\xEF\xBB\xBF[Main]\nlanguage=English\nadded=1\n[\x01=\x02\x00]\xff\n\n[New]\nk=v\n"s},
        {"[Main]\nx=\r", "[Main]\nx=\r\r\nLANGUAGE=English\nadded=1\n\n[New]\nk=v\n"},
        {"[Main]\nlanguage=1\nnote=a\r\r\n[T]\r\nx=1\n",
         "[Main]\nlanguage=English\nnote=a\r\r\nadded=1\n[T]\r\nx=1\n\n[New]\nk=v\n"},
    };
    // clang-format on
    for (const auto& [original, expected] : rows) {
        SCOPED_TRACE(original);
        QTemporaryDir dir;
        const std::string file = WriteFile(dir, "a.ini", original);
        ASSERT_TRUE(WriteIniValue(file, "MAIN", "LANGUAGE", "English") &&
                    WriteIniValue(file, "main", "added", "1") &&
                    WriteIniValue(file, "New", "k", "v"));
        EXPECT_EQ(ReadAll(file), expected);
    }
    // Values read back as written, and a line break cannot start a line that reads as a key.
    QTemporaryDir dir;
    const std::string file = dir.filePath("a.ini").toStdString();
    for (const std::string value : {"  blanks  ", "\tlead", "\"quoted\"", "\"", "a=b", "x\"y", ""})
        EXPECT_TRUE(WriteIniValue(file, "S", "k", value) && Read(file, "S", "k") == value) << value;
    ASSERT_TRUE(WriteIniValue(file, "S", "desc", "one\n[Proxy]\r\nuse=1"));
    EXPECT_EQ(Read(file, "Proxy", "use") + Read(file, "S", "desc"),
              kMissing + "one [Proxy]  use=1");
}

TEST(Ini, FailedSavesLeaveTheDiskAsItWas) {
    const std::function<bool(const std::string&)> saves[] = {
        [](const std::string& path) { return modConfig::SaveConfig(ConfigSettings{}, path); },
        [](const std::string& path) { return WriteIniValue(path, "S", "k", "new"); },
    };
    for (const auto& save : saves) {
        QTemporaryDir dir;
        const std::string path = WriteFile(dir, "config.ini", "[S]\nk=old\n");
        // Killed or out of space after the temporary file was written.
        modConfig::ini::SetBeforeRenameHook([](const std::string& temp) { return temp.empty(); });
        EXPECT_FALSE(save(path));
        modConfig::ini::SetBeforeRenameHook(nullptr);
        EXPECT_FALSE(save(dir.filePath("missing/config.ini").toStdString()) ||
                     save(dir.path().toStdString())); // a folder
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(" ") +
                      QString::fromStdString(ReadAll(path)),
                  "config.ini[S]\nk=old\n");
        ASSERT_TRUE(save(path)); // and it goes through once the failure is gone
        EXPECT_NE(ReadAll(path), "[S]\nk=old\n");
    }
    // Nothing is read from a fifo or from a (sparse) file too big to read; neither is replaced.
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo.ini").toStdString();
    const std::string huge = WriteFile(dir, "huge.ini", "[Main]\nlanguage=English\n");
    ASSERT_TRUE(::mkfifo(fifo.c_str(), 0600) == 0 && ::truncate(huge.c_str(), 64 << 20) == 0);
    ::alarm(20); // a blocked open would never return; end the program instead of hanging
    for (const std::string& path : {fifo, huge}) {
        EXPECT_EQ(Read(path, "Main", "language") + Loaded(path).Language(), kMissing);
        EXPECT_FALSE(saves[0](path) || saves[1](path));
    }
    ::alarm(0);
    struct stat f = {}, h = {};
    EXPECT_TRUE(::lstat(fifo.c_str(), &f) == 0 && S_ISFIFO(f.st_mode) &&
                ::lstat(huge.c_str(), &h) == 0 && h.st_size == 64 << 20);
    const std::string big = WriteFile(dir, "big.ini", "[S]\nk=" + std::string(300000, 'v') + "\n");
    EXPECT_FALSE(WriteIniValue(big, "S", "k", std::string(2 << 20, 'w'))); // too big to read
    EXPECT_EQ(Read(big, "S", "k").size(), 300000u);
}

TEST(Config, WithoutAFileTheDefaultsHoldAndTheSaveListsEveryKey) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("config.ini").toStdString();
    ASSERT_TRUE(modConfig::SaveConfig(Loaded(path), path));
    EXPECT_EQ(QFile::permissions(QString::fromStdString(path)),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    std::string columns;
    for (int n = 1; n <= 13; ++n)
        columns += (n < 10 ? "column_0" : "column_") + std::to_string(n) + "=75\n";
    EXPECT_EQ(ReadAll(path),
              "[Main]\nwindow_state=0\ndialog_path=\nlog_file_path=\nlanguage=\n\n"
              "[Upload]\nremove_complete_files=0\nbin_layer_id=\ndescription=\npassword=\n\n"
              "[Proxy]\nhostname=\nport=8080\nusername=\npassword=\nuse=0\n\n"
              "[Premium]\nuse=0\nusername=\npassword=\n\n[Listview]\n" +
                  columns + "\n[Statistic]\ncount=0\nsize=0\n");
}

TEST(Config, NumbersBooleansAndTextsSurviveLoadAndSave) {
    // section, key, stored, after a load and a save (leading number, blanks skipped, .5 to even)
    // clang-format off
    const std::tuple<const char*, const char*, std::string, std::string> rows[] = {
        {"Main", "window_state", " 2 ", "2"}, {"Upload", "remove_complete_files", "2", "1"},
        {"Upload", "description", std::string(300, 'd'), std::string(300, 'd')},
        {"Premium", "use", "-1", "1"}, {"Premium", "password", "\"  secret \"", "  secret "},
        {"Listview", "column_01", "120px", "120"}, {"Listview", "column_02", "2.5", "2"},
        {"Listview", "column_03", "3.5", "4"}, {"Listview", "column_04", "1e2", "100"},
        {"Listview", "column_05", "x", "0"}, {"Listview", "column_06", "1 2", "12"},
        {"Statistic", "size", "123456789012", "123456789012"},
    };
    // clang-format on
    QTemporaryDir dir;
    std::string text;
    for (const auto& [section, key, stored, saved] : rows)
        text += "["s + section + "]\n" + key + "=" + stored + "\n";
    const std::string path = WriteFile(dir, "config.ini", text);
    ConfigSettings settings = Loaded(path);
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    for (const auto& [section, key, stored, saved] : rows)
        EXPECT_EQ(Read(path, section, key), saved) << key;
    settings.SetStatisticCount(9007199254740993LL); // 2^53 + 1: beyond a double's precision
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    EXPECT_EQ(Loaded(path).StatisticCount(), 9007199254740993LL);
    // A proxy port outside 1 to 65535 switches the proxy off.
    std::string ports;
    for (const char* stored : {"0", "70000", "", "abc", "  3128  ", "65535", "1", "99999999999"}) {
        const auto proxy = Loaded(WriteFile(dir, "proxy.ini", "[Proxy]\nuse=1\nport="s + stored));
        ports += std::to_string(proxy.ProxyUse()) + ":" + std::to_string(proxy.ProxyPort()) + " ";
    }
    EXPECT_EQ(ports, "0:8080 0:8080 0:8080 0:8080 1:3128 1:65535 1:1 0:8080 ");
}

TEST(Config, ConfigFilePathPrefersTheProgramFolder) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const auto restore = qScopeGuard([saved = qgetenv("XDG_CONFIG_HOME")] {
        saved.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", saved);
    });
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder + "/xdg"));
    // A program folder we cannot write to (here: a gone one) sends it to the user's folder.
    const std::string user = modConfig::ConfigFilePath(folder + "/gone");
    EXPECT_EQ(modConfig::ConfigFilePath(folder + "/") + " " + user,
              folder + "/config.ini " + folder + "/xdg/vostrand-uploader/config.ini");
    EXPECT_TRUE(modConfig::SaveConfig(ConfigSettings{}, user)); // which the first save creates
}

} // namespace
