// The queue driver with the real engine over real TCP: runs, the end of each upload, cancel,
// the stall limit, the answer of the information query and the close request.
#include "QueueFixture.h"
#include "ScriptedServer.h"

#include "platform/modFileSystem.h"
#include "upload/clsInfo.h"

#include <QTimer>

using testsupport::ScriptedServer;
using testsupport::Step;
using uitest::QueueTest;

namespace {

std::string Answer(const std::string& head, const std::string& body) {
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class DriverTest : public QueueTest {
protected:
    DriverTest() {
        modUpload::SetBaseUrl(server.BaseUrl());
        queue->objInfo_Complete(true);
        toolkit.saveAnswer = dir.FilePath("upload-log.txt");
    }

    // The four answers of an upload that ends with links for name.
    void ServeUpload(const std::string& name) {
        const std::string base = server.BaseUrl();
        server.Respond(Answer("200 OK\r\nSet-Cookie: PHPSESSID=s" + name + "; path=/",
                              "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" +
                                  base +
                                  "upload.php\">"
                                  "<input type=\"hidden\" name=\"UploadSession\" value=\"u\">"));
        server.Respond(Answer("302 Found\r\nLocation: " + base + "done.php", ""));
        server.Respond(Answer("200 OK", "ok"));
        server.Respond(Answer("200 OK", "<A id=downloadhref href=\"" + base + "d/" + name +
                                            "\">x</A><A id=filedelhref href=\"" + base + "del/" +
                                            name + "\">y</A>"));
    }
    // An upload page that is not there: the upload ends "ERROR" after one request.
    void ServeFailure() { server.Respond(Answer("500 Internal Server Error", "")); }
    // The upload page, then a file post that is read but never answered.
    void ServeHangingUpload() {
        const std::string base = server.BaseUrl();
        server.Respond(Answer("200 OK\r\nSet-Cookie: PHPSESSID=h; path=/",
                              "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" +
                                  base + "upload.php\">"));
        server.Add({Step::Hang()});
    }

    // Runs the event loop, and the work the queue posts to it, until done() holds.
    bool Spin(const std::function<bool()>& done, int limitMs = 20000) {
        return SpinUntil(
            [&] {
                toolkit.RunPosted();
                return done();
            },
            limitMs);
    }
    bool RunEnds() {
        return Spin([&] { return !queue->RunInProgress(); });
    }
    // Ticks once a second, as the window's timer does, until done() holds.
    bool TickUntil(const std::function<bool()>& done) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (toolkit.timer) {
                queue->Tick();
            }
        });
        timer.start(1000);
        return Spin(done, 30000);
    }
    // The file names of the files posted to the server, in order.
    std::vector<std::string> PostedFiles() const {
        std::vector<std::string> names;
        for (const auto& connection : server.Requests()) {
            const std::string& head = connection.Head();
            if (head.rfind("POST /upload.php", 0) != 0) {
                continue;
            }
            const std::string body = connection.Body();
            const size_t at = body.find("filename=\"");
            if (at != std::string::npos) {
                names.push_back(modFileSystem::GetFileName(
                    body.substr(at + 10, body.find('"', at + 10) - at - 10)));
            }
        }
        return names;
    }

    ScriptedServer server;
};

TEST_F(DriverTest, RunRequeuesErrorRowsSkipsCompleteOnesAndEndsByItself) {
    Add({File("A.txt"), File("B.txt"), File("C.txt")});
    Row(0).UploadState = "COMPLETE";
    Row(0).StatusText = "S13";
    Row(0).DownloadUrl = "http://old/A";
    Row(1).UploadState = "ERROR";
    Row(1).StatusText = "S14";
    settings.SetLogFilePath("/var/log/old/last.txt");
    ServeUpload("B");
    ServeUpload("C");

    queue->Start();
    EXPECT_EQ(toolkit.saveDialogName, "last.txt");
    EXPECT_EQ(toolkit.saveDialogFolder, "/var/log/old");
    EXPECT_EQ(settings.LogFilePath(), dir.FilePath("upload-log.txt"));
    // The first tick ran at once: B is on its way, C waits, A is left alone.
    EXPECT_TRUE(upload->Active());
    EXPECT_EQ(upload->m_Item.get(), &Row(1));
    EXPECT_EQ(Row(1).UploadState, "IDLE");
    EXPECT_EQ(Row(2).StatusText, "S1");
    EXPECT_EQ(Row(0).StatusText, "S13");
    EXPECT_TRUE(toolkit.timer);
    EXPECT_TRUE(toolkit.Menu("mnuUploadCancel"));
    EXPECT_FALSE(toolkit.Menu("mnuEditAdd"));

    // No timer tick is needed between the rows: each ending starts the next one.
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(PostedFiles(), (std::vector<std::string>{"B.txt", "C.txt"}));
    EXPECT_EQ(Row(0).DownloadUrl, "http://old/A");
    EXPECT_EQ(Row(1).UploadState, "COMPLETE");
    EXPECT_EQ(Row(1).DownloadUrl, server.BaseUrl() + "d/B");
    EXPECT_EQ(Row(2).UploadState, "COMPLETE");
    EXPECT_EQ(Row(2).StatusText, "S13");
    EXPECT_FALSE(toolkit.timer);
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart"));
    EXPECT_FALSE(toolkit.Menu("mnuUploadCancel"));
    EXPECT_TRUE(toolkit.Button("upload"));
    EXPECT_TRUE(toolkit.drop);
    // RemoveCompleteFiles off: the rows stay and the counter panels were not touched.
    EXPECT_EQ(queue->List().Count(), 3);
    EXPECT_EQ(toolkit.Panel("upload_count"), "<unset>");
    EXPECT_EQ(settings.StatisticCount(), 2);
    // Both uploads were logged.
    const std::string log = testsupport::ReadFile(dir.FilePath("upload-log.txt"));
    EXPECT_NE(log.find("d/B"), std::string::npos);
    EXPECT_NE(log.find("del/C"), std::string::npos);
}

TEST_F(DriverTest, RemoveCompleteFilesEmptiesTheListWhateverTheResult) {
    settings.SetRemoveCompleteFiles(true);
    Add({File("one.txt", 1572864), File("two.txt"), File("three.txt")});
    ServeUpload("one");
    ServeFailure();
    ServeUpload("three");

    queue->Start();
    ASSERT_TRUE(Spin([&] { return queue->List().Count() == 2; }));
    // The first ending refreshed the panels and gave the upload button back.
    EXPECT_EQ(toolkit.Panel("file_count"), "Dateien: 2");
    EXPECT_EQ(toolkit.Panel("upload_traffic"), "Traffic: 1,50 MB");
    EXPECT_EQ(toolkit.Panel("upload_count"), "Uploads: 1");
    EXPECT_TRUE(toolkit.Button("upload"));

    ASSERT_TRUE(RunEnds());
    EXPECT_TRUE(queue->List().Empty());
    EXPECT_EQ(toolkit.rowCount, 0);
    EXPECT_EQ(toolkit.Panel("file_count"), "Dateien: 0");
    EXPECT_EQ(toolkit.Panel("upload_count"), "Uploads: 2");
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart"));
    EXPECT_FALSE(toolkit.Button("upload"));
    EXPECT_EQ(PostedFiles(), (std::vector<std::string>{"one.txt", "three.txt"}));
}

TEST_F(DriverTest, CancelMidUploadLeavesTheRowWaitingForTheNextRun) {
    Add({File("big.bin", 4 * MB), File("next.txt")});
    ServeHangingUpload();
    ServeUpload("big.bin");
    ServeUpload("next.txt");

    queue->Start();
    ASSERT_TRUE(Spin([&] { return upload->RequestIndex() == clsUpload::RequestFile; }));
    queue->Cancel();
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Row(0).UploadState, "IDLE");
    EXPECT_EQ(Row(0).StatusText, "S15");
    EXPECT_EQ(Row(0).DownloadUrl, "");
    EXPECT_EQ(Row(1).StatusText, "S1");
    EXPECT_FALSE(toolkit.timer);
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart"));
    EXPECT_FALSE(toolkit.Menu("mnuUploadCancel"));
    // The ending posted its immediate tick, which must not start the next row after a cancel.
    toolkit.RunPosted();
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(server.ConnectionCount(), 2);

    // The next Start uploads the interrupted row from its beginning, then the other.
    queue->Start();
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(Row(0).UploadState, "COMPLETE");
    EXPECT_EQ(Row(1).UploadState, "COMPLETE");
}

TEST_F(DriverTest, StartWithoutWaitingRowsReturnsToIdleAndTheExtraTickStopsTheTimer) {
    Add({File("done.txt")});
    Row(0).UploadState = "COMPLETE";

    toolkit.saveAnswer = "";
    queue->Start(); // log dialog cancelled: nothing happens
    EXPECT_FALSE(toolkit.timer);
    EXPECT_TRUE(toolkit.Menu("mnuEditAdd"));
    EXPECT_EQ(settings.LogFilePath(), "");

    toolkit.saveAnswer = dir.FilePath("log.txt");
    queue->Start();
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart"));
    EXPECT_TRUE(toolkit.Menu("mnuEditAdd"));
    EXPECT_FALSE(toolkit.Menu("mnuUploadCancel"));
    EXPECT_TRUE(toolkit.timer); // switched on after the first tick
    queue->Tick();
    EXPECT_FALSE(toolkit.timer);
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(Row(0).UploadState, "COMPLETE");
}

TEST_F(DriverTest, SilentServiceIsGivenUpAfterTheStallLimitAndTheRunGoesOn) {
    queue->SetStallLimit(1);
    Add({File("stuck.txt"), File("fine.txt")});
    ServeHangingUpload();
    ServeUpload("fine");

    queue->Start();
    ASSERT_TRUE(TickUntil([&] { return !queue->RunInProgress(); }));
    EXPECT_EQ(Row(0).UploadState, "ERROR");
    EXPECT_EQ(Row(0).StatusText, "S14");
    EXPECT_EQ(Row(1).UploadState, "COMPLETE");
}

TEST_F(DriverTest, CloseDuringAnUploadAsksAndCancelsOnNo) {
    EXPECT_TRUE(queue->QueryClose()); // nothing runs: no question
    EXPECT_TRUE(toolkit.messages.empty());

    Add({File("a.bin", 2 * MB)});
    ServeHangingUpload();
    queue->Start();
    ASSERT_TRUE(Spin([&] { return upload->RequestIndex() == clsUpload::RequestFile; }));

    toolkit.messageAnswers = {modLanguage::ID_YES};
    EXPECT_FALSE(queue->QueryClose());
    EXPECT_EQ(toolkit.messages.back().text, "M4 Upload läuft");
    EXPECT_EQ(toolkit.messages.back().flags, 36);
    EXPECT_TRUE(upload->Active());

    toolkit.messageAnswers = {modLanguage::ID_NO};
    EXPECT_TRUE(queue->QueryClose());
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Row(0).UploadState, "IDLE");
}

// --- the information query ----------------------------------------------------------------

class InfoTest : public QueueTest {
protected:
    InfoTest() {
        modUpload::SetMaxFileSize(0);
        modUpload::SetBaseUrl(server.BaseUrl());
        queue->SetHomePage(server.BaseUrl());
        queue->SetInitialState();
    }
    void Request() {
        queue->RequestInfo(std::make_unique<clsInfo>(settings, QtSocketFactory()));
        ASSERT_TRUE(queue->InfoPending());
        ASSERT_TRUE(SpinUntil([&] {
            toolkit.RunPosted();
            return !queue->InfoPending();
        }));
    }
    ScriptedServer server;
};

TEST_F(InfoTest, FailedQueryWarnsAndUnlocksOnlyAbout) {
    server.Respond(Answer("404 Not Found", "size=100"));
    Request();
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, "M1 Info fehlgeschlagen");
    EXPECT_EQ(toolkit.messages[0].flags, 48);
    EXPECT_TRUE(toolkit.Menu("mnuHelpAbout"));
    EXPECT_TRUE(toolkit.Button("about"));
    EXPECT_FALSE(toolkit.Menu("mnuEditAdd"));
    EXPECT_FALSE(toolkit.Menu("mnuHelpNews"));
    EXPECT_FALSE(toolkit.drop);
    EXPECT_EQ(toolkit.Panel("main"), "");
    EXPECT_FALSE(toolkit.timer);
}

TEST_F(InfoTest, SilentServiceFailsTheQueryAfterTheStallLimit) {
    server.Add({Step::Hang()});
    queue->SetStallLimit(1);
    queue->RequestInfo(std::make_unique<clsInfo>(settings, QtSocketFactory()));
    EXPECT_TRUE(toolkit.timer); // watches the query
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { queue->Tick(); });
    timer.start(500);
    ASSERT_TRUE(SpinUntil([&] { return !queue->InfoPending(); }, 30000));
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, "M1 Info fehlgeschlagen");
    EXPECT_FALSE(toolkit.timer);
}

struct VersionCase {
    const char* name;
    std::string serviceVersion;
    bool asks;
    int32_t answer;
    bool opens;
};

class VersionTest : public InfoTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTest, NewerServiceVersionOffersTheHomePage) {
    const VersionCase& c = GetParam();
    server.Respond(Answer("200 OK", "size=100\r\nversion=" + c.serviceVersion + "\r\n"));
    toolkit.messageAnswers = {c.answer};
    Request();
    EXPECT_EQ(toolkit.Panel("upload_maxfilesize"), "Größe: 100 MB");
    EXPECT_TRUE(toolkit.Menu("mnuEditAdd"));
    EXPECT_TRUE(toolkit.Menu("mnuExtrasOptions"));
    EXPECT_TRUE(toolkit.Button("news"));
    EXPECT_TRUE(toolkit.drop);
    ASSERT_EQ(toolkit.messages.size(), c.asks ? 1u : 0u);
    if (c.asks) {
        EXPECT_EQ(toolkit.messages[0].text, "M6 Neue Version");
        EXPECT_EQ(toolkit.messages[0].flags, 36);
    }
    EXPECT_EQ(toolkit.openedUrls,
              c.opens ? std::vector<std::string>{server.BaseUrl()} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionTest,
    ::testing::Values(VersionCase{"NewerYes", "1.00.0010", true, modLanguage::ID_YES, true},
                      VersionCase{"NewerNo", "1.00.0010", true, modLanguage::ID_NO, false},
                      VersionCase{"Same", "1.00.0009", false, 0, false},
                      VersionCase{"Empty", "", false, 0, false},
                      VersionCase{"Older", "1.00.0008", false, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionCompareTest, OrdinalComparisonOfTheVersionTexts) {
    const std::string local = UploadQueue::LocalVersion();
    EXPECT_EQ(local, "1.00.0009");
    EXPECT_TRUE(UploadQueue::IsNewerVersion("1.00.0010", local));
    EXPECT_TRUE(UploadQueue::IsNewerVersion("1.00.00090", local)); // longer, same start
    EXPECT_TRUE(UploadQueue::IsNewerVersion("2", local));
    EXPECT_TRUE(UploadQueue::IsNewerVersion("1.00.0009\xC3\xA4", local));
    EXPECT_FALSE(UploadQueue::IsNewerVersion("1.00.0009", local));
    EXPECT_FALSE(UploadQueue::IsNewerVersion("1.00.000", local));
    EXPECT_FALSE(UploadQueue::IsNewerVersion("1.0.10", local)); // "." sorts before "0"
    EXPECT_FALSE(UploadQueue::IsNewerVersion("", local));
    EXPECT_FALSE(UploadQueue::IsNewerVersion("0.99", local));
}

} // namespace
