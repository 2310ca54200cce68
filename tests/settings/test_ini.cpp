// The INI store and config.ini: lookups, in-place writes, atomic saves, file modes and the
// settings record's load rules.
#include "settings/IniFile.h"
#include "settings/modConfig.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
using modConfig::ReadIniValue;
using modConfig::WriteIniValue;
using testsupport::ReadAll;
using testsupport::WriteFile;

namespace {

const char* kMissing = "<missing>";

ConfigSettings Loaded(const std::string& path) {
    ConfigSettings settings;
    modConfig::LoadConfig(settings, path);
    return settings;
}

TEST(Ini, NamesMatchWithoutLetterCaseAndValuesLoseBlanksAndOneQuotePair) {
    QTemporaryDir dir;
    const std::string file = WriteFile(
        dir, "a.ini",
        "[Broken\r\nx=1\r\n=orphan\r\n[Main]\r\nKey=plain\r\nKEY=second\r\n  spaced   =   x y   "
        "\r\n"
        "quoted=\"  padded  \"\r\ndouble=\"\"twice\"\"\r\nlone=\"\r\nempty=\r\n"
        "Menu(\"mnuFile\").Caption=&Datei\r\nno equals sign\r\n[Other]\r\nkey=other\r\n[main]\r\n"
        "nul=\"v" +
            std::string(1, '\0') + "w\"\r\nlong=" + std::string(1000, 'x')); // no break
    // section|key|value; a header without "]" opens no section, a line without a name or "="
    // is no key.
    for (const std::string row :
         {"MAIN|key|plain", "Main|spaced|x y", "Main|quoted|  padded  ", "Main|double|\"twice\"",
          "Main|lone|\"", "Main|empty|", "Main|menu(\"MNUFILE\").caption|&Datei",
          "Main|Menu('mnuFile').Caption|<missing>", "Other|key|other", "Main|missing|<missing>",
          "Nowhere|key|<missing>", "Broken|x|<missing>", "Main|x|<missing>", "||<missing>",
          "Main|no equals sign|<missing>"}) {
        const size_t bar = row.find('|'), value = row.find('|', bar + 1) + 1;
        EXPECT_EQ(
            ReadIniValue(file, row.substr(0, bar), row.substr(bar + 1, value - bar - 2), kMissing),
            row.substr(value));
    }
    EXPECT_EQ(ReadIniValue(file, "Main", "long", kMissing), std::string(1000, 'x'));
    EXPECT_EQ(ReadIniValue(file, "Main", "nul", kMissing), std::string("v\0w", 3));
    EXPECT_EQ(ReadIniValue(file + "x", "Main", "Key", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(dir.path().toStdString(), "Main", "Key", kMissing), kMissing);

    // Changes made to the file between reads are seen, even of the same size.
    WriteFile(dir, "a.ini", "[S]\nk=one\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), "one");
    WriteFile(dir, "a.ini", "[S]\nk=two\n");
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing, true), "two");
    ::unlink(file.c_str());
    EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), kMissing);
}

TEST(Ini, WritesInPlaceKeepingEveryOtherByte) {
    // original, expected after language, added and New/k are written
    const std::pair<std::string, std::string> rows[] = {
        {"; my settings\n[Main]\nunknown = keep me\n  Language = \"Deutsch\"\nlanguage=second\n\n"
         "# about the next section\n[Proxy]\nport=8080\n",
         "; my settings\n[Main]\nunknown = keep me\n  Language =English\nlanguage=second\nadded=1\n"
         "\n# about the next section\n[Proxy]\nport=8080\n\n[New]\nk=v\n"},
        {"[Main]\r\nlanguage=old\r\n;note\r\n[T]\r\nx=1", // no final break
         "[Main]\r\nlanguage=English\r\nadded=1\r\n;note\r\n[T]\r\nx=1\r\n\r\n[New]\r\nk=v\r\n"},
        {"\xEF\xBB\xBF[Main]\nlanguage=1\n[\x01=\x02\x00]\xff\n"s,
         "\xEF\xBB\xBF[Main]\nlanguage=English\nadded=1\n[\x01=\x02\x00]\xff\n\n[New]\nk=v\n"s},
        // Each line keeps its own ending; a final line ending in a CR keeps it.
        {"[Main]\nx=\r", "[Main]\nx=\r\r\nLANGUAGE=English\nadded=1\n\n[New]\nk=v\n"},
        {"[Main]\nlanguage=1\nnote=a\r\r\n[T]\r\nx=1\n",
         "[Main]\nlanguage=English\nnote=a\r\r\nadded=1\n[T]\r\nx=1\n\n[New]\nk=v\n"},
    };
    for (const auto& [original, expected] : rows) {
        SCOPED_TRACE(original);
        QTemporaryDir dir;
        const std::string file = WriteFile(dir, "a.ini", original);
        ASSERT_TRUE(WriteIniValue(file, "MAIN", "LANGUAGE", "English"));
        ASSERT_TRUE(WriteIniValue(file, "main", "added", "1"));
        ASSERT_TRUE(WriteIniValue(file, "New", "k", "v"));
        EXPECT_EQ(ReadAll(file), expected);
    }
    // Values read back as written, and a line break cannot start a line that reads as a key.
    QTemporaryDir dir;
    const std::string file = dir.filePath("a.ini").toStdString();
    for (const std::string value :
         {"  blanks  ", "\tlead", "\"quoted\"", "\"", "a=b", "x\"y", ""}) {
        ASSERT_TRUE(WriteIniValue(file, "S", "k", value));
        EXPECT_EQ(ReadIniValue(file, "S", "k", kMissing), value);
    }
    ASSERT_TRUE(WriteIniValue(file, "S", "desc", "one\n[Proxy]\r\nuse=1"));
    EXPECT_EQ(ReadIniValue(file, "Proxy", "use", kMissing), kMissing);
    EXPECT_EQ(ReadIniValue(file, "S", "desc", kMissing), "one [Proxy]  use=1");
}

TEST(Ini, FailedSavesLeaveTheDiskAsItWas) {
    const std::function<bool(const std::string&)> saves[] = {
        [](const std::string& path) { return modConfig::SaveConfig(ConfigSettings{}, path); },
        [](const std::string& path) { return WriteIniValue(path, "S", "k", "new"); },
    };
    for (const auto& save : saves) {
        QTemporaryDir dir;
        const std::string original = "[S]\nk=old\n";
        const std::string path = WriteFile(dir, "config.ini", original);
        // Killed or out of space after the temporary file was written.
        std::string temp;
        modConfig::ini::SetBeforeRenameHook([&temp](const std::string& t) {
            temp = t;
            return false;
        });
        EXPECT_FALSE(save(path));
        modConfig::ini::SetBeforeRenameHook(nullptr);
        EXPECT_FALSE(temp.empty());
        EXPECT_EQ(ReadAll(path), original);
        EXPECT_FALSE(save(dir.filePath("missing/config.ini").toStdString()));
        EXPECT_FALSE(save(dir.path().toStdString())); // a folder
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                  QStringList{"config.ini"});
        ASSERT_TRUE(save(path)); // and it goes through once the failure is gone
        EXPECT_NE(ReadAll(path), original);
    }
}

TEST(Ini, AFifoOrAnOversizedFileIsNeitherReadNorReplaced) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo.ini").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Sparse; without a bound a file of gigabytes would be read whole.
    const std::string huge = WriteFile(dir, "huge.ini", "[Main]\nlanguage=English\n");
    ASSERT_EQ(::truncate(huge.c_str(), off_t{64} << 20), 0);
    for (const std::string& path : {fifo, huge}) {
        struct stat before {};
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        ::alarm(20); // a blocked open would never return; end the program instead of hanging
        EXPECT_EQ(ReadIniValue(path, "Main", "language", kMissing) + Loaded(path).Language(),
                  kMissing);
        EXPECT_FALSE(modConfig::SaveConfig(ConfigSettings{}, path));
        EXPECT_FALSE(WriteIniValue(path, "Main", "language", "Deutsch"));
        ::alarm(0);
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(std::tie(after.st_ino, after.st_size), std::tie(before.st_ino, before.st_size));
    }
    // A value that would make the file too big to read is refused.
    const std::string big = WriteFile(dir, "big.ini", "[S]\nk=" + std::string(300000, 'v') + "\n");
    EXPECT_FALSE(WriteIniValue(big, "S", "k", std::string(2 << 20, 'w')));
    EXPECT_EQ(ReadIniValue(big, "S", "k", kMissing).size(), 300000u);
}

TEST(Config, WithoutAFileTheDefaultsHoldAndTheSaveListsEveryKeyKeepingModeAndLink) {
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
    // An existing file keeps its mode, also when saved through a link, which stays a link.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string link = dir.filePath("link.ini").toStdString();
    ASSERT_EQ(::symlink("config.ini", link.c_str()), 0);
    ConfigSettings settings = Loaded(link);
    settings.SetLanguage("Deutsch");
    ASSERT_TRUE(modConfig::SaveConfig(settings, link));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
    struct stat st {};
    EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
    EXPECT_EQ(ReadIniValue(path, "Main", "language", kMissing), "Deutsch");
}

TEST(Config, NumbersBooleansAndTextsSurviveLoadAndSave) {
    // section, key, the value stored, the value after a load and a save
    const std::tuple<const char*, const char*, std::string, std::string> rows[] = {
        {"Main", "window_state", " 2 ", "2"},
        {"Upload", "remove_complete_files", "2", "1"},
        {"Upload", "description", std::string(300, 'd'), std::string(300, 'd')},
        {"Premium", "use", "-1", "1"},
        {"Premium", "password", "\"  secret \"", "  secret "},
        {"Listview", "column_01", "120px", "120"}, // the leading number
        {"Listview", "column_02", "2.5", "2"},     // halves go to the even neighbour
        {"Listview", "column_03", "3.5", "4"},
        {"Listview", "column_04", "1e2", "100"},
        {"Listview", "column_05", "x", "0"},
        {"Listview", "column_06", "1 2", "12"}, // blanks inside the number are skipped
        {"Statistic", "size", "123456789012", "123456789012"},
    };
    QTemporaryDir dir;
    std::string text;
    for (const auto& [section, key, stored, saved] : rows)
        text += std::string("[") + section + "]\n" + key + "=" + stored + "\n";
    const std::string path = WriteFile(dir, "config.ini", text);
    ConfigSettings settings = Loaded(path);
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    for (const auto& [section, key, stored, saved] : rows)
        EXPECT_EQ(ReadIniValue(path, section, key, kMissing), saved) << key;
    settings.SetStatisticCount(9007199254740993LL); // 2^53 + 1: beyond a double's precision
    ASSERT_TRUE(modConfig::SaveConfig(settings, path));
    EXPECT_EQ(Loaded(path).StatisticCount(), 9007199254740993LL);

    // A proxy port outside 1 to 65535 switches the proxy off.
    int n = 0;
    for (const auto& [stored, usePort] : {std::pair{"0", "0 8080"},
                                          {"70000", "0 8080"},
                                          {"", "0 8080"},
                                          {"abc", "0 8080"},
                                          {"  3128  ", "1 3128"},
                                          {"65535", "1 65535"},
                                          {"1", "1 1"},
                                          {"99999999999", "0 8080"}}) {
        const ConfigSettings proxy = Loaded(WriteFile(
            dir, std::to_string(++n) + ".ini", std::string("[Proxy]\nuse=1\nport=") + stored));
        EXPECT_EQ(std::to_string(proxy.ProxyUse()) + " " + std::to_string(proxy.ProxyPort()),
                  usePort)
            << stored;
    }
}

TEST(Config, ConfigFilePathPrefersTheProgramFolder) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder + "/xdg"));
    EXPECT_EQ(modConfig::ConfigFilePath(folder), folder + "/config.ini");
    EXPECT_EQ(modConfig::ConfigFilePath(folder + "/"), folder + "/config.ini");
    // A program folder we cannot write to (here: one that is gone) sends it to the user's folder,
    // which the first save creates.
    const std::string user = modConfig::ConfigFilePath(folder + "/gone");
    EXPECT_EQ(user, folder + "/xdg/vostrand-uploader/config.ini");
    EXPECT_TRUE(modConfig::SaveConfig(ConfigSettings{}, user));
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
