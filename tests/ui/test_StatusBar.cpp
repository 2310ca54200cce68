// The status bar panels: templates, formats and the "%1" rule, under German and English
// templates and number formats.
#include "RecordingToolkit.h"
#include "TempDir.h"

#include "ui/StatusBar.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusBarTest, CountersShowTheirTemplateWithTheFormattedValue) {
    const struct {
        NumberFormat format;
        std::vector<std::string> templates; // panels 2 to 5
        std::vector<std::string> shown;
    } cases[] = {
        {{".", ","},
         {"Dateien: %1", "Größe: %1 MB", "Traffic: %1 MB", "Uploads: %1"},
         {"Dateien: 1.234", "Größe: 100 MB", "Traffic: 1,50 MB", "Uploads: 1.234.567"}},
        {{",", "."},
         {"Files: %1", "Size: %1 MB", "Traffic: %1 MB", "Uploads: %1"},
         {"Files: 1,234", "Size: 100 MB", "Traffic: 1.50 MB", "Uploads: 1,234,567"}},
        // Without "%1" the template shows unchanged; twice, the value shows twice.
        {{".", ","}, {"Dateien", "", "%1 / %1", "%2"}, {"Dateien", "", "1,50 / 1,50", "%2"}}};
    for (const auto& c : cases) {
        RecordingToolkit toolkit;
        StatusBar bar(toolkit, c.format);
        for (size_t i = 0; i < 4; ++i) {
            bar.SetTemplate(StatusBar::PanelKeys[i + 1], c.templates[i]);
        }
        bar.ShowFileCount(1234);
        bar.ShowMaxFileSize(104857600);
        bar.ShowUploadTraffic(1572864); // 1.5 MB
        bar.ShowUploadCount(1234567);
        bar.ShowMainText("Lade %1"); // free text, no template
        EXPECT_EQ(toolkit.Panel("main"), "Lade %1");
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(toolkit.Panel(StatusBar::PanelKeys[i + 1]), c.shown[i]);
        }
    }
}

TEST(StatusBarTest, TemplatesComeFromTheLanguageFile) {
    testsupport::TempDir dir;
    const std::string file =
        dir.WriteFile("English.ini", "[Main]\r\n"
                                     "Statusbar.Panel(\"file_count\").Text=\"Files: %1\"\r\n");
    RecordingToolkit toolkit;
    StatusBar bar(toolkit, NumberFormat{",", "."});
    bar.SetTemplate("upload_traffic", "old");
    bar.LoadTemplates(file);
    EXPECT_EQ(bar.Template("upload_traffic"), ""); // missing key: empty, not kept
    bar.ShowFileCount(3);
    EXPECT_EQ(toolkit.Panel("file_count"), "Files: 3");
}

} // namespace
