#include "UploadTestSupport.h"

#include <sys/stat.h>

using namespace uploadtest;
using testsupport::ReadFile;

namespace {

class UploadLog : public ::testing::Test {
protected:
    UploadLog() { clock.Set(LocalTime(2026, 12, 5, 14, 3, 9)); }

    bool Write(const std::string& log, const std::string& download = "http://v/d/1",
               const std::string& remove = "http://v/del/1") {
        return modUpload::WriteLogEntry(log, "/home/anna/report.pdf", 1234567, download, remove,
                                        texts, format, clock);
    }

    testsupport::TempDir dir;
    FixedClock clock;
    modLanguage::TextLists texts = GermanTexts();
    NumberFormat format = GermanFormat();
};

TEST_F(UploadLog, EntriesOfSixLinesAreAppended) {
    const std::string log = dir.FilePath("upload.log");
    ASSERT_TRUE(Write(log));
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // the delete links are secrets
    // A failed upload has no links; missing labels leave the lines beginning with ": ".
    clock.Advance(61);
    ASSERT_TRUE(Write(log, "", ""));
    texts.SetLogFileTexts({"", "", "", "", ""});
    ASSERT_TRUE(Write(log));
    EXPECT_EQ(ReadFile(log), "Datum/Uhrzeit: 05.12.2026 14:03:09\r\n"
                             "Datei: report.pdf\r\n"
                             "Größe: 1.234.567 Byte\r\n"
                             "Download-Link: http://v/d/1\r\n"
                             "Lösch-Link: http://v/del/1\r\n"
                             "\r\n"
                             "Datum/Uhrzeit: 05.12.2026 14:04:10\r\n"
                             "Datei: report.pdf\r\n"
                             "Größe: 1.234.567 Byte\r\n"
                             "Download-Link: \r\n"
                             "Lösch-Link: \r\n"
                             "\r\n"
                             ": 05.12.2026 14:04:10\r\n"
                             ": report.pdf\r\n"
                             ": 1.234.567 Byte\r\n"
                             ": http://v/d/1\r\n"
                             ": http://v/del/1\r\n"
                             "\r\n");
}

TEST_F(UploadLog, FailuresAreSilentAndReportFalse) {
    // A missing folder: nothing is created.
    EXPECT_FALSE(Write(dir.FilePath("no/such/folder/upload.log")));
    struct stat st {};
    EXPECT_NE(::stat(dir.FilePath("no").c_str(), &st), 0);
    // No path chosen, a folder instead of a file, a full disk (shows when the entry is flushed).
    EXPECT_FALSE(Write(""));
    EXPECT_FALSE(Write(dir.Path()));
    EXPECT_FALSE(Write("/dev/full"));
    // A named pipe nobody reads from fails instead of blocking.
    const std::string fifo = dir.FilePath("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Write(fifo));
}

} // namespace
