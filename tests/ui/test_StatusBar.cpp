// The status bar panels: templates, formats and the "%1" rule, under German and English
// templates and number formats.
#include "RecordingToolkit.h"
#include "TempDir.h"

#include "ui/StatusBar.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t MB = 1048576;

struct PanelCase {
    const char* name;
    NumberFormat format;
    const char* fileCount; // template of panel 2
    const char* maxSize;   // panel 3
    const char* traffic;   // panel 4
    const char* count;     // panel 5
    std::string expectCount, expectMax, expectTraffic, expectUploads;
};

class PanelTest : public ::testing::TestWithParam<PanelCase> {};

TEST_P(PanelTest, CountersShowTheirTemplateWithTheFormattedValue) {
    const PanelCase& c = GetParam();
    RecordingToolkit toolkit;
    StatusBar bar(toolkit, c.format);
    bar.SetTemplate("file_count", c.fileCount);
    bar.SetTemplate("upload_maxfilesize", c.maxSize);
    bar.SetTemplate("upload_traffic", c.traffic);
    bar.SetTemplate("upload_count", c.count);

    bar.ShowFileCount(1234);
    bar.ShowMaxFileSize(100 * MB);
    bar.ShowUploadTraffic(1572864); // 1.5 MB
    bar.ShowUploadCount(1234567);
    bar.ShowMainText("Lade %1");

    EXPECT_EQ(toolkit.Panel("file_count"), c.expectCount);
    EXPECT_EQ(toolkit.Panel("upload_maxfilesize"), c.expectMax);
    EXPECT_EQ(toolkit.Panel("upload_traffic"), c.expectTraffic);
    EXPECT_EQ(toolkit.Panel("upload_count"), c.expectUploads);
    EXPECT_EQ(toolkit.Panel("main"), "Lade %1"); // free text, no template
}

INSTANTIATE_TEST_SUITE_P(Languages, PanelTest,
                         ::testing::Values(PanelCase{"German",
                                                     {".", ","},
                                                     "Dateien: %1",
                                                     "Größe: %1 MB",
                                                     "Traffic: %1 MB",
                                                     "Uploads: %1",
                                                     "Dateien: 1.234",
                                                     "Größe: 100 MB",
                                                     "Traffic: 1,50 MB",
                                                     "Uploads: 1.234.567"},
                                           PanelCase{"English",
                                                     {",", "."},
                                                     "Files: %1",
                                                     "Size: %1 MB",
                                                     "Traffic: %1 MB",
                                                     "Uploads: %1",
                                                     "Files: 1,234",
                                                     "Size: 100 MB",
                                                     "Traffic: 1.50 MB",
                                                     "Uploads: 1,234,567"},
                                           PanelCase{"NoPlaceholder",
                                                     {".", ","},
                                                     "Dateien",
                                                     "",
                                                     "%1 / %1",
                                                     "%2",
                                                     "Dateien",
                                                     "",
                                                     "1,50 / 1,50",
                                                     "%2"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatusBarTest, TemplatesComeFromTheLanguageFile) {
    testsupport::TempDir dir;
    const std::string file =
        dir.WriteFile("English.ini", "[Main]\r\n"
                                     "Statusbar.Panel(\"file_count\").Text=\"Files: %1\"\r\n"
                                     "Statusbar.Panel(\"upload_count\").Text=Uploads: %1\r\n");
    RecordingToolkit toolkit;
    StatusBar bar(toolkit, NumberFormat{",", "."});
    bar.SetTemplate("upload_traffic", "old");
    bar.LoadTemplates(file);
    EXPECT_EQ(bar.Template("file_count"), "Files: %1");
    EXPECT_EQ(bar.Template("upload_count"), "Uploads: %1");
    EXPECT_EQ(bar.Template("upload_traffic"), ""); // missing key: empty, not kept
    bar.ShowFileCount(3);
    EXPECT_EQ(toolkit.Panel("file_count"), "Files: 3");
}

} // namespace
