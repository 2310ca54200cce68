// The upload log.
#include "UploadTestSupport.h"

#include <sys/stat.h>

using namespace uploadtest;

namespace {

TEST(UploadLog, EntriesAreAppendedAndFailuresReportFalseWithoutBlocking) {
    QTemporaryDir dir;
    FixedClock clock;
    clock.Set(LocalTime(2026, 12, 5, 14, 3, 9));
    const auto write = [&](const std::string& log, const std::string& link) {
        return modUpload::WriteLogEntry(log, "/home/anna/report.pdf", 1234567, link,
                                        link.empty() ? "" : link + "/del", GermanTexts(),
                                        GermanFormat(), clock);
    };
    const std::string log = dir.filePath("upload.log").toStdString();
    ASSERT_TRUE(write(log, "http://v/d"));
    clock.Advance(61);
    ASSERT_TRUE(write(log, ""));
    EXPECT_EQ(ReadAll(log), "Datum/Uhrzeit: 05.12.2026 14:03:09\r\nDatei: report.pdf\r\n"
                            "Größe: 1.234.567 Byte\r\nDownload-Link: http://v/d\r\n"
                            "Lösch-Link: http://v/d/del\r\n\r\n"
                            "Datum/Uhrzeit: 05.12.2026 14:04:10\r\nDatei: report.pdf\r\n"
                            "Größe: 1.234.567 Byte\r\nDownload-Link: \r\nLösch-Link: \r\n\r\n");
    // No folder is made; a folder, a full disk (seen at the flush) and a pipe nobody reads
    // from (which must not block) fail.
    const std::string fifo = dir.filePath("pipe").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.filePath("no/upload.log").toStdString(), std::string(),
                                    dir.path().toStdString(), std::string("/dev/full"), fifo})
        EXPECT_FALSE(write(path, "x")) << path;
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));
}

} // namespace
