#include "settings/LanguageChoice.h"
#include "settings/LanguageKeys.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "support/Support.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace modLanguage;
using testsupport::WriteFile;
using Names = std::vector<std::string>;

namespace {

TEST(Language, FormatMessageFillsNumberedPlaceholdersInParameterOrder) {
    // A placeholder without a parameter stays, a value is not expanded again, matching is exact.
    const std::tuple<const char*, Names, const char*> rows[] = {
        {"{%1} is {%2} MB", {"a.bin", "100"}, "a.bin is 100 MB"},
        {"{%1} {%2}", {"a"}, "a {%2}"},
        {"{%2}{%1} {%1}", {"1", "2"}, "21 1"},
        {"{%1}", {"{%1}{%1}"}, "{%1}{%1}"},
        {"{%01} {%1 } {%1}", {"x"}, "{%01} {%1 } x"},
        {"{%10} {%1}", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, "j a"}};
    for (const auto& [text, parameters, expected] : rows)
        EXPECT_EQ(FormatMessage(text, parameters), expected) << text;
}

TEST(Language, LoadsTheFiveListsAndAMissingKeyIsEmpty) {
    QTemporaryDir dir;
    const std::string file =
        WriteFile(dir, "Test.ini",
                  "[main]\nStatusbar(1)=Loading\nLogFile(5)=Delete\nInput(3)=Password:\n"
                  "Message(6)=\"{%1} is already listed\"\nstatus(6)=S6\nStatus(21)=S21\n"
                  "[Config]\nStatus(7)=wrong section\n");
    TextLists lists;
    const auto all = [&lists] {
        return lists.GetStatusbarText(1) + "|" + lists.GetLogFileText(1) + "|" +
               lists.GetLogFileText(5) + "|" + lists.GetStatusText(6) + "|" +
               lists.GetStatusText(7) + "|" + lists.GetStatusText(21) + "|" +
               lists.GetInputText(3) + "|" + lists.GetMessageText(6);
    };
    LoadTextLists(lists, file);
    EXPECT_EQ(all(), "Loading||Delete|S6||S21|Password:|{%1} is already listed");
    LoadTextLists(lists, file + ".missing"); // replaces the lists whole
    EXPECT_EQ(all(), "|||||||");
}

// The placeholders a text holds: "{%1}" in the messages, a bare "%1" in the panel texts.
std::set<std::string> Placeholders(const std::string& text) {
    static const std::regex placeholder(R"(\{%\d+\}|%\d+)");
    return {std::sregex_token_iterator(text.begin(), text.end(), placeholder),
            std::sregex_token_iterator()};
}

// Every key the program reads is there (the built-in menu captions are left out) with exactly
// the placeholders its callers fill; no key is unknown (misspelt) or repeated (dead text).
TEST(Language, ShippedFilesHoldTheKeysTheProgramReadsWithTheirPlaceholders) {
    const std::string folder = VOSTRAND_SOURCE_DIR "/language";
    const Names names = ListLanguages(folder);
    EXPECT_EQ(names, (Names{"Deutsch", "English"}));
    for (const std::string& name : names) {
        const std::string file = LanguageFilePath(folder, name);
        SCOPED_TRACE(file);
        EXPECT_FALSE(LanguageLocale(file).empty());
        std::map<std::pair<std::string, std::string>, const LanguageKey*> unseen;
        for (const LanguageKey& k : LanguageKeys())
            unseen[{k.section, k.key}] = &k;
        std::istringstream in(testsupport::ReadAll(file));
        std::string section;
        for (std::string line; std::getline(in, line);) {
            const size_t eq = line.find('=');
            if (!line.empty() && line[0] == '[')
                section = line.substr(1, line.find(']') - 1);
            if (line.empty() || line[0] == ';' || eq == std::string::npos || section == "Info")
                continue;
            SCOPED_TRACE(line);
            const auto it = unseen.find({section, line.substr(0, eq)});
            ASSERT_NE(it, unseen.end()) << "repeated, or not a key the program reads";
            const LanguageKey& key = *it->second;
            unseen.erase(it);
            EXPECT_EQ(key.use, KeyUse::Text) << "hides the built-in caption";
            const std::string value = modConfig::ReadIniValue(file, key.section, key.key, "");
            EXPECT_FALSE(value.empty());
            EXPECT_EQ(Placeholders(value),
                      std::set<std::string>(key.placeholders.begin(), key.placeholders.end()));
        }
        for (const auto& [where, key] : unseen)
            EXPECT_EQ(key->use, KeyUse::KeepBuiltIn) << where.first << " / " << where.second;
    }
}

TEST(Language, TheChoiceSettlesTheSettingAgainstTheFilesAndTheirLocales) {
    const std::map<std::string, std::string> declared = {
        {"Deutsch", "de"}, {"English", "en"}, {"British", "en_GB"}, {"Austria", "de-AT"}};
    const auto localeOf = [&](const std::string& name) {
        return declared.count(name) ? declared.at(name) : std::string();
    };
    // Files, the stored name, the user's locale, the settled index and name. Letter case
    // counts; the locale decides only on a first run, its region first; a name that matches
    // nothing falls back to the English file, without one to the first.
    // clang-format off
    const std::tuple<Names, const char*, const char*, const char*> rows[] = {
        {{"Deutsch", "English"}, "English", "de_DE.UTF-8", "1 English"},
        {{"English"}, "english", "", "0 English"}, {{}, "English", "en", "-1 English"},
        {{"Deutsch", "English"}, "Klingon", "de_DE", "1 English"},
        {{"English", "British"}, "", "en_GB.UTF-8@x", "1 British"},
        {{"English", "Austria"}, "", "de_DE", "1 Austria"},
        {{"Deutsch", "English"}, "", "fr_FR.UTF-8", "1 English"},
        {{"Deutsch", "Other"}, "", "fr_FR", "0 Deutsch"},
        {{"Other", "Deutsch"}, "", "de", "1 Deutsch"}};
    // clang-format on
    for (const auto& [files, stored, userLocale, settled] : rows) {
        const LanguageChoice choice = SettleLanguage(files, stored, userLocale, localeOf);
        EXPECT_EQ(std::to_string(choice.index) + " " + choice.language, settled)
            << "stored \"" << stored << "\", locale \"" << userLocale << "\"";
    }
    QTemporaryDir dir;
    WriteFile(dir, "Deutsch.ini", "[Info]\nlocale=de\n");
    WriteFile(dir, "English.ini", "[Info]\r\nLOCALE = \"en\"\r\n");
    WriteFile(dir, "notes.txt", "[Info]\nlocale=en\n");
    const std::string folder = dir.path().toStdString() + "/";
    EXPECT_EQ(SettleLanguageInFolder(folder, "", "en_US.UTF-8").language +
                  SettleLanguageInFolder(folder, "", "de_AT").language +
                  std::to_string(SettleLanguageInFolder(folder + "none/", "English", "en").index),
              "EnglishDeutsch-1");
}

} // namespace
