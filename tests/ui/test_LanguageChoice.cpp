// Settling the Language setting against the language files that exist.
#include "TempDir.h"

#include "ui/LanguageChoice.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct ChoiceCase {
    const char* name;
    std::vector<std::string> files;
    std::string stored;
    std::string userLocale;
    int32_t index;
    std::string language;
};

class LanguageChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(LanguageChoiceTest, SettlesTheSetting) {
    const ChoiceCase& c = GetParam();
    const std::map<std::string, std::string> declared = {
        {"Deutsch", "de"}, {"English", "en"}, {"British", "en_GB"}, {"Austria", "de-AT"}};
    const auto localeOf = [&](const std::string& name) {
        const auto it = declared.find(name);
        return it == declared.end() ? std::string() : it->second;
    };
    const LanguageChoice choice = SettleLanguage(c.files, c.stored, c.userLocale, localeOf);
    EXPECT_EQ(choice.index, c.index);
    EXPECT_EQ(choice.language, c.language);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LanguageChoiceTest,
    ::testing::Values(
        ChoiceCase{"StoredExact", {"Deutsch", "English"}, "English", "de_DE.UTF-8", 1, "English"},
        // Letter case counts: "english" names no file, so the first listed one wins, even
        // though the user's locale would choose English on a first run.
        ChoiceCase{"StoredOtherCase", {"English"}, "english", "", 0, "English"},
        ChoiceCase{
            "StoredUnknownIgnoresLocale", {"Deutsch", "English"}, "Klingon", "en_US", 0, "Deutsch"},
        ChoiceCase{"FirstRunByLocale", {"Deutsch", "English"}, "", "en_US.UTF-8", 1, "English"},
        ChoiceCase{"FirstRunRegionWins", {"English", "British"}, "", "en_GB.UTF-8@x", 1, "British"},
        ChoiceCase{"FirstRunLanguageOfRegion", {"English", "Austria"}, "", "de_DE", 1, "Austria"},
        ChoiceCase{"FirstRunNoMatch", {"Deutsch", "English"}, "", "fr_FR.UTF-8", 0, "Deutsch"},
        ChoiceCase{"FirstRunPosixLocale", {"English", "Deutsch"}, "", "C", 0, "English"},
        ChoiceCase{"FirstRunUndeclared", {"Other", "Deutsch"}, "", "de", 1, "Deutsch"},
        ChoiceCase{"NoFiles", {}, "English", "en", -1, "English"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST(LanguageFolderTest, ReadsTheDeclaredLocalesOfTheFiles) {
    testsupport::TempDir dir;
    dir.WriteFile("Deutsch.ini", "[Info]\nlocale=de\n");
    dir.WriteFile("English.ini", "[Info]\r\nLOCALE = \"en\"\r\n");
    dir.WriteFile("notes.txt", "[Info]\nlocale=en\n");
    const std::string folder = dir.Path() + "/";
    EXPECT_EQ(SettleLanguageInFolder(folder, "", "en_US.UTF-8").language, "English");
    EXPECT_EQ(SettleLanguageInFolder(folder, "", "de_AT").index, 0);
    EXPECT_EQ(SettleLanguageInFolder(folder, "Deutsch", "en_US").language, "Deutsch");
    EXPECT_EQ(SettleLanguageInFolder(dir.FilePath("none/"), "English", "en").index, -1);
}

} // namespace
