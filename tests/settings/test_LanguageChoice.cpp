// Settling the Language setting against the language files that exist.
#include "TempDir.h"

#include "settings/LanguageChoice.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(LanguageChoiceTest, SettlesTheSetting) {
    const std::map<std::string, std::string> declared = {
        {"Deutsch", "de"}, {"English", "en"}, {"British", "en_GB"}, {"Austria", "de-AT"}};
    const auto localeOf = [&](const std::string& name) {
        return declared.count(name) ? declared.at(name) : std::string();
    };
    const struct {
        std::vector<std::string> files;
        std::string stored, userLocale;
        int32_t index;
        std::string language;
    } cases[] = {{{"Deutsch", "English"}, "English", "de_DE.UTF-8", 1, "English"},
                 // Letter case counts: "english" names no file; the locale decides only on a first
                 // run, and a name that matches nothing falls back to the English file.
                 {{"English"}, "english", "", 0, "English"},
                 {{"Deutsch", "English"}, "Klingon", "de_DE", 1, "English"},
                 {{"Deutsch", "English"}, "", "en_US.UTF-8", 1, "English"},
                 {{"English", "British"}, "", "en_GB.UTF-8@x", 1, "British"}, // the region wins
                 {{"English", "Austria"}, "", "de_DE", 1, "Austria"},
                 {{"Deutsch", "English"}, "", "fr_FR.UTF-8", 1, "English"},
                 {{"Deutsch", "English"}, "", "C.UTF-8", 1, "English"},
                 {{"Deutsch", "Other"}, "", "fr_FR", 0, "Deutsch"}, // no English file: the first
                 {{"Other", "Deutsch"}, "", "de", 1, "Deutsch"},
                 {{}, "English", "en", -1, "English"}};
    for (const auto& c : cases) {
        const LanguageChoice choice = SettleLanguage(c.files, c.stored, c.userLocale, localeOf);
        EXPECT_EQ(std::to_string(choice.index) + " " + choice.language,
                  std::to_string(c.index) + " " + c.language)
            << "stored \"" << c.stored << "\", locale \"" << c.userLocale << "\"";
    }
}

TEST(LanguageChoiceTest, ReadsTheDeclaredLocalesOfTheFilesInAFolder) {
    testsupport::TempDir dir;
    dir.WriteFile("Deutsch.ini", "[Info]\nlocale=de\n");
    dir.WriteFile("English.ini", "[Info]\r\nLOCALE = \"en\"\r\n");
    dir.WriteFile("notes.txt", "[Info]\nlocale=en\n");
    const std::string folder = dir.Path() + "/";
    EXPECT_EQ(SettleLanguageInFolder(folder, "", "en_US.UTF-8").language, "English");
    EXPECT_EQ(SettleLanguageInFolder(folder, "", "de_AT").index, 0);
    EXPECT_EQ(SettleLanguageInFolder(dir.FilePath("none/"), "English", "en").index, -1);
}

} // namespace
