// What the windows show beside the queue: the status bar panels, the about dialog's values and
// links, and the window texts against the language files that ship.
#include "QueueFixture.h"

#include "settings/LanguageKeys.h"
#include "ui/AboutValues.h"
#include "ui/StatusBar.h"
#include "ui/WindowTexts.h"

namespace {

TEST(StatusBarTest, PanelsShowTheirTemplateWithTheFormattedValue) {
    RecordingToolkit toolkit;
    const auto show = [&](StatusBar& bar) {
        bar.ShowFileCount(1234);
        bar.ShowMaxFileSize(104857600);
        bar.ShowUploadTraffic(1572864);
        bar.ShowUploadCount(1234567);
        bar.ShowMainText("Lade %1"); // free text, no template
        std::string shown;
        for (const char* key : StatusBar::PanelKeys)
            shown += toolkit.panels[key] + "|";
        return shown;
    };
    StatusBar german(toolkit, {".", ","});
    for (const char* key : {"file_count", "upload_maxfilesize", "upload_traffic", "upload_count"})
        german.SetTemplate(key, std::string(key) + ": %1");
    EXPECT_EQ(show(german), "Lade %1|file_count: 1.234|upload_maxfilesize: 100|"
                            "upload_traffic: 1,50|upload_count: 1.234.567|");
    // Without "%1" the template shows unchanged, twice the value twice; a key the language file
    // does not hold gives the empty template.
    QTemporaryDir dir;
    StatusBar english(toolkit, {",", "."});
    english.SetTemplate("upload_maxfilesize", "old");
    english.LoadTemplates(testsupport::WriteFile(dir, "English.ini",
                                                 "[Main]\r\nStatusbar.Panel(\"file_count\").Text="
                                                 "\"Files\"\r\nStatusbar.Panel(\"upload_traffic\")"
                                                 ".Text=\"%1 / %1\"\r\nStatusbar.Panel(\"upload_"
                                                 "count\").Text=\"%2 %1\"\r\n"));
    EXPECT_EQ(show(english), "Lade %1|Files||1.50 / 1.50|%2 1,234,567|");
}

TEST(AboutValuesTest, StatisticsInTheLocalesPatternsAndTheLinksTargets) {
    ConfigSettings settings;
    settings.SetStatisticCount(1234567);
    settings.SetStatisticSize(5368709120);
    const AboutValues v = MakeAboutValues(settings, {",", "."}, "http://h:1");
    EXPECT_EQ(v.AppTitle + " " + v.Version + " " + v.Company,
              "Vostrand-Uploader 1.00.0009 Vostrand");
    EXPECT_EQ(v.UploadCount + " " + v.UploadSize, "1,234,567 5,120.00 MB");
    EXPECT_EQ(v.Url + " " + v.UrlTarget + " " + v.ImpressumTarget,
              "http://h:1/ http://h:1/ http://h:1/imprint.php");
    EXPECT_EQ(v.EMailTarget, "mailto:" + v.EMail);
    EXPECT_NE(v.EMail.find('@'), std::string::npos);
}

struct WindowTextList {
    const char* section;
    const std::vector<WindowText>& texts;
};
const WindowTextList Windows[] = {
    {"Main", MainWindowTexts()}, {"Config", ConfigWindowTexts()}, {"About", AboutWindowTexts()}};

// A key added to a window and missing from a shipped file fails here: every key the windows apply
// is a known language key, and a file holds a text for each one not left to the built-in caption.
TEST(WindowTextsTest, ShippedFilesHoldEveryKeyTheWindowsApply) {
    const auto& known = modLanguage::LanguageKeys();
    for (const char* name : {"Deutsch", "English"}) {
        const std::string file = VOSTRAND_SOURCE_DIR "/language/" + std::string(name) + ".ini";
        for (const auto& [section, texts] : Windows) {
            for (const WindowText& entry : texts) {
                SCOPED_TRACE(std::string(name) + " [" + section + "] " + entry.key);
                const auto key = std::find_if(known.begin(), known.end(), [&](const auto& k) {
                    return k.section == section && k.key == entry.key;
                });
                ASSERT_NE(key, known.end());
                const auto text = ResolveWindowText(entry, section, file);
                if (key->use == modLanguage::KeyUse::Text) {
                    EXPECT_NE(text.value_or(""), "");
                } else { // separators and language entries keep "-" and the file names
                    EXPECT_EQ(text, std::nullopt);
                }
            }
        }
    }
}

// An empty or missing text empties every control but a menu, which keeps its built-in caption.
TEST(WindowTextsTest, OnlyMenusKeepTheirCaptionWhenTheTextIsEmpty) {
    QTemporaryDir dir;
    const std::string file = testsupport::WriteFile(
        dir, "Leer.ini", "[Main]\nMenu(\"mnuFile\").Caption=\nWindow.Caption=\n[Config]\n");
    for (const auto& [section, texts] : Windows) {
        for (const WindowText& entry : texts) {
            SCOPED_TRACE(entry.key);
            const bool menu = entry.target == TextTarget::Menu;
            EXPECT_EQ(entry.rule == TextRule::KeepBuiltInWhenEmpty, menu);
            EXPECT_EQ(ResolveWindowText(entry, section, file),
                      menu ? std::nullopt : std::optional<std::string>(""));
        }
    }
    EXPECT_EQ(ResolveWindowText(
                  ConfigWindowTexts().front(), "Config",
                  testsupport::WriteFile(dir, "T.ini", "[config]\nwindow.caption=\"Optionen\"\n")),
              "Optionen");
}

} // namespace
