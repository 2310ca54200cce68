// What the windows show beside the list: the status bar panels and the window texts.
#include "QueueFixture.h"

#include "settings/LanguageKeys.h"
#include "ui/StatusBar.h"
#include "ui/WindowTexts.h"

using namespace uitest;

namespace {

// The queue's panels show German numbers; here English ones, a template without "%1" (shown
// unchanged), one with it twice and one the language file does not hold (empty, not kept).
TEST_F(QueueTest, StatusBarTemplatesComeFromTheLanguageFile) {
    StatusBar bar(*this, {",", "."});
    bar.SetTemplate("upload_maxfilesize", "old");
    bar.LoadTemplates(
        testsupport::WriteFile(dir, "English.ini",
                               "[Main]\r\nStatusbar.Panel(\"file_count\").Text=\"Files\"\r\n"
                               "Statusbar.Panel(\"upload_traffic\").Text=\"%1 / %1\"\r\n"
                               "Statusbar.Panel(\"upload_count\").Text=\"%2 %1\"\r\n"));
    bar.ShowFileCount(1234);
    bar.ShowMaxFileSize(104857600);
    bar.ShowUploadTraffic(1572864);
    bar.ShowUploadCount(1234567);
    bar.ShowMainText("Lade %1"); // free text, no template
    std::string shown;
    for (const char* key : StatusBar::PanelKeys)
        shown += panels[key] + "|";
    EXPECT_EQ(shown, "Lade %1|Files||1.50 / 1.50|%2 1,234,567|");
}

// Every key the windows apply is a known language key (which the shipped files hold, as the
// settings suite checks). An empty or missing text empties every control but a menu, which keeps
// its caption.
TEST(WindowTextsTest, KeysAreKnownAndOnlyMenusKeepTheirCaptionWhenEmpty) {
    QTemporaryDir dir;
    const std::string empty = testsupport::WriteFile(
        dir, "Leer.ini",
        "[Main]\nMenu(\"mnuFile\").Caption=\n[config]\nwindow.caption=\"Optionen\"\n");
    const auto& known = modLanguage::LanguageKeys();
    const std::pair<const char*, const std::vector<WindowText>&> windows[] = {
        {"Main", MainWindowTexts()},
        {"Config", ConfigWindowTexts()},
        {"About", AboutWindowTexts()}};
    for (const auto& [section, texts] : windows) {
        for (const WindowText& entry : texts) {
            SCOPED_TRACE(std::string(section) + " " + entry.key);
            EXPECT_TRUE(std::any_of(known.begin(), known.end(), [&](const auto& k) {
                return k.section == section && k.key == entry.key;
            }));
            const bool menu = entry.target == TextTarget::Menu;
            EXPECT_EQ(entry.rule == TextRule::KeepBuiltInWhenEmpty, menu);
            const std::string shown = &entry == &ConfigWindowTexts()[0] ? "Optionen" : "";
            EXPECT_EQ(ResolveWindowText(entry, section, empty),
                      menu ? std::nullopt : std::optional(shown));
        }
    }
}

} // namespace
