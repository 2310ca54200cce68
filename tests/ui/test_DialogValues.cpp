// The about dialog's values and links, and the window texts of the three windows against the
// language files that ship.
#include "TempDir.h"

#include "settings/LanguageKeys.h"
#include "settings/modConfig.h"
#include "ui/AboutValues.h"
#include "ui/WindowTexts.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(AboutValuesTest, StatisticsInTheLocalesPatternsAndTheLinksTargets) {
    const struct {
        NumberFormat format;
        int64_t count, size;
        std::string baseUrl, shownCount, shownSize, shownUrl;
    } rows[] = {
        {{".", ","}, 1234, 5368709120, "http://h:1/", "1.234", "5.120,00 MB", "http://h:1/"},
        {{",", "."},
         1234,
         5368709120,
         "https://v.example/up/",
         "1,234",
         "5,120.00 MB",
         "https://v.example/up/"},
        {{",", "."}, 0, 0, "http://h:1", "0", "0.00 MB", "http://h:1/"}, // "/" added
        {{".", ","}, 1234567, 1572864, "http://h/", "1.234.567", "1,50 MB", "http://h/"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shownSize);
        ConfigSettings settings;
        settings.SetStatisticCount(row.count);
        settings.SetStatisticSize(row.size);
        const AboutValues v = MakeAboutValues(settings, row.format, row.baseUrl);
        EXPECT_EQ(v.AppTitle, "Vostrand-Uploader");
        EXPECT_EQ(v.Version, "1.00.0009");
        EXPECT_EQ(v.Company, "Vostrand");
        EXPECT_EQ(v.UploadCount, row.shownCount);
        EXPECT_EQ(v.UploadSize, row.shownSize);
        EXPECT_EQ(v.Url, row.shownUrl);
        EXPECT_EQ(v.UrlTarget, row.shownUrl);
        EXPECT_EQ(v.EMailTarget, "mailto:" + v.EMail);
        EXPECT_NE(v.EMail.find('@'), std::string::npos);
        EXPECT_EQ(v.ImpressumTarget, row.shownUrl + "imprint.php");
    }
}

struct WindowTextList {
    const char* section;
    const std::vector<WindowText>& texts;
};

// A key added to a window and missing from a shipped file fails here: every key the three
// windows apply is a known language key, and a file holds a text for each one that is not left
// to the built-in caption.
TEST(WindowTextsTest, ShippedFilesHoldEveryKeyTheWindowsApply) {
    const WindowTextList windows[] = {{"Main", MainWindowTexts()},
                                      {"Config", ConfigWindowTexts()},
                                      {"About", AboutWindowTexts()}};
    const auto& known = modLanguage::LanguageKeys();
    for (const char* name : {"Deutsch", "English"}) {
        const std::string file = VOSTRAND_SOURCE_DIR "/language/" + std::string(name) + ".ini";
        for (const auto& [section, texts] : windows) {
            for (const WindowText& entry : texts) {
                SCOPED_TRACE(std::string(name) + " [" + section + "] " + entry.key);
                const auto key = std::find_if(known.begin(), known.end(), [&](const auto& k) {
                    return k.section == section && k.key == entry.key;
                });
                ASSERT_NE(key, known.end());
                const auto text = ResolveWindowText(entry, section, file);
                if (key->use == modLanguage::KeyUse::Text) {
                    ASSERT_TRUE(text.has_value());
                    EXPECT_FALSE(text->empty());
                } else { // separators and language entries keep "-" and the file names
                    EXPECT_EQ(text, std::nullopt);
                }
            }
        }
    }
}

// An empty or missing text empties every control but a menu, which keeps its built-in caption.
TEST(WindowTextsTest, OnlyMenusKeepTheirCaptionWhenTheTextIsEmpty) {
    testsupport::TempDir dir;
    const std::string file =
        dir.WriteFile("Leer.ini", "[Main]\nMenu(\"mnuFile\").Caption=\nWindow.Caption=\n"
                                  "[Config]\nButton(\"ok\").Caption=\n");
    const WindowTextList windows[] = {{"Main", MainWindowTexts()},
                                      {"Config", ConfigWindowTexts()},
                                      {"About", AboutWindowTexts()}};
    for (const auto& [section, texts] : windows) {
        for (const WindowText& entry : texts) {
            SCOPED_TRACE(entry.key);
            const auto text = ResolveWindowText(entry, section, file);
            if (entry.target == TextTarget::Menu) {
                EXPECT_EQ(entry.rule, TextRule::KeepBuiltInWhenEmpty);
                EXPECT_EQ(text, std::nullopt);
            } else {
                EXPECT_EQ(text, "");
            }
        }
    }
    EXPECT_EQ(ResolveWindowText(ConfigWindowTexts().front(), "Config",
                                dir.WriteFile("T.ini", "[config]\nwindow.caption=\"Optionen\"\n")),
              "Optionen");
}

} // namespace
