// The queue driver with the real engine over real TCP: runs, the end of each upload, cancel,
// the stall limit, the answer of the information query and the close request.
#include "QueueFixture.h"
#include "ScriptedServer.h"

#include "platform/modFileSystem.h"
#include "upload/clsInfo.h"

#include <QTimer>

using testsupport::ScriptedServer;
using testsupport::Step;
using uitest::MB;
using uitest::QueueTest;

namespace {

using Strings = std::vector<std::string>;

std::string Answer(const std::string& head, const std::string& body) {
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class DriverTest : public QueueTest {
protected:
    DriverTest() {
        upload->SetBaseUrl(server.BaseUrl());
        queue->objInfo_Complete(true);
        toolkit.saveAnswer = dir.FilePath("upload-log.txt");
    }

    void ServeUploadPage() {
        server.Respond(Answer("200 OK\r\nSet-Cookie: PHPSESSID=s; path=/",
                              "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" +
                                  server.BaseUrl() + "upload.php\">"));
    }
    // The four answers of an upload that ends with links for name.
    void ServeUpload(const std::string& name) {
        const std::string base = server.BaseUrl();
        ServeUploadPage();
        server.Respond(Answer("302 Found\r\nLocation: " + base + "done.php", ""));
        server.Respond(Answer("200 OK", "ok"));
        server.Respond(Answer("200 OK", "<A id=downloadhref href=\"" + base + "d/" + name +
                                            "\">x</A><A id=filedelhref href=\"" + base + "del/" +
                                            name + "\">y</A>"));
    }
    // The upload page, then a file post that is read but never answered.
    void ServeHangingUpload() {
        ServeUploadPage();
        server.Add({Step::Hang()});
    }
    bool RunEnds() {
        return Spin([&] { return !queue->RunInProgress(); });
    }
    // With the one-second timer the window would run.
    bool TickUntil(const std::function<bool()>& done) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (toolkit.timer) {
                queue->Tick();
            }
        });
        timer.start(1000);
        return Spin(done);
    }
    // The names of the files posted to the server, in order.
    std::vector<std::string> PostedFiles() const {
        std::vector<std::string> names;
        for (const auto& connection : server.Requests()) {
            const std::string body = connection.Body();
            const size_t at = body.find("filename=\"");
            if (connection.Head().rfind("POST /upload.php", 0) == 0 && at != std::string::npos) {
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
    Row(1).UploadState = "ERROR";
    settings.SetLogFilePath("/var/log/old/last.txt");
    ServeUpload("B");
    ServeUpload("C");

    queue->Start();
    EXPECT_EQ(toolkit.saveDialogName + " in " + toolkit.saveDialogFolder,
              "last.txt in /var/log/old");
    EXPECT_EQ(settings.LogFilePath(), dir.FilePath("upload-log.txt"));
    // The first tick ran at once: B is on its way, C waits, A is left alone.
    EXPECT_EQ(upload->m_Item.get(), &Row(1));
    EXPECT_TRUE(upload->Active());
    EXPECT_EQ(Row(2).StatusText + Row(2).UploadState, "S1IDLE");
    EXPECT_EQ(Row(0).StatusText, "S13");
    EXPECT_TRUE(toolkit.timer && toolkit.Menu("mnuUploadCancel"));
    EXPECT_FALSE(toolkit.Menu("mnuEditAdd"));

    // No timer tick is needed between the rows: each ending starts the next one.
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(PostedFiles(), (std::vector<std::string>{"B.txt", "C.txt"}));
    EXPECT_EQ(Row(1).DownloadUrl, server.BaseUrl() + "d/B");
    EXPECT_EQ(Row(2).StatusText + Row(2).UploadState, "S13COMPLETE");
    EXPECT_FALSE(Row(2).Uploading);
    const auto progress = queue->Progress(); // A was complete before: not part of the run
    EXPECT_EQ(progress.BytesSent, 20);
    EXPECT_EQ(progress.BytesTotal, 20);
    EXPECT_EQ(progress.Completed * 10 + progress.Failed, 20);
    EXPECT_FALSE(toolkit.timer || toolkit.Menu("mnuUploadCancel"));
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart") && toolkit.Button("upload") && toolkit.drop);
    // RemoveCompleteFiles off: the rows stay and the counter panels were not touched.
    EXPECT_EQ(queue->List().Count(), 3);
    EXPECT_EQ(toolkit.Panel("upload_count"), "<unset>");
    const std::string log = testsupport::ReadFile(dir.FilePath("upload-log.txt"));
    EXPECT_NE(log.find("d/B"), std::string::npos);
    EXPECT_NE(log.find("del/C"), std::string::npos);
}

TEST_F(DriverTest, RemoveCompleteFilesEmptiesTheListWhateverTheResult) {
    settings.SetRemoveCompleteFiles(true);
    Add({File("one.txt", 1572864), File("two.txt"), File("three.txt")});
    ServeUpload("one");
    server.Respond(Answer("500 Internal Server Error", "")); // two ends "ERROR"
    ServeUpload("three");

    queue->Start();
    ASSERT_TRUE(Spin([&] { return queue->List().Count() == 2; }));
    // The first ending refreshed the panels and gave the upload button back.
    EXPECT_EQ(toolkit.Panel("file_count"), "file_count: 2");
    EXPECT_EQ(toolkit.Panel("upload_traffic"), "upload_traffic: 1,50");
    EXPECT_EQ(toolkit.Panel("upload_count"), "upload_count: 1");
    EXPECT_TRUE(toolkit.Button("upload"));

    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(queue->List().Count() + toolkit.rowCount, 0);
    EXPECT_EQ(toolkit.Panel("file_count"), "file_count: 0");
    EXPECT_EQ(toolkit.Panel("upload_count"), "upload_count: 2");
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
    // The file post has reached the server.
    ASSERT_TRUE(Spin([&] { return server.ConnectionCount() == 2; }));
    queue->Cancel();
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Row(0).UploadState + Row(0).StatusText + Row(0).DownloadUrl, "IDLES15");
    EXPECT_EQ(Row(1).StatusText, "S1");
    EXPECT_FALSE(toolkit.timer || toolkit.Menu("mnuUploadCancel"));
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart"));
    // The ending posted its immediate tick, which must not start the next row after a cancel.
    toolkit.RunPosted();
    EXPECT_FALSE(upload->Active());

    // The next Start uploads the interrupted row from its beginning, then the other.
    queue->Start();
    ASSERT_TRUE(RunEnds());
    EXPECT_EQ(Row(0).UploadState + Row(1).UploadState, "COMPLETECOMPLETE");
    // The cancelled post may or may not have got as far as the file name.
    const auto posted = PostedFiles();
    ASSERT_GE(posted.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(posted.end() - 2, posted.end()),
              (std::vector<std::string>{"big.bin", "next.txt"}));
}

TEST_F(DriverTest, StartWithoutWaitingRowsReturnsToIdleAndTheExtraTickStopsTheTimer) {
    Add({File("done.txt")});
    Row(0).UploadState = "COMPLETE";
    toolkit.saveAnswer = "";
    queue->Start(); // log dialog cancelled: nothing happens
    EXPECT_FALSE(toolkit.timer);
    EXPECT_EQ(settings.LogFilePath(), "");

    toolkit.saveAnswer = dir.FilePath("log.txt");
    queue->Start();
    EXPECT_TRUE(toolkit.Menu("mnuUploadStart") && toolkit.Menu("mnuEditAdd"));
    EXPECT_FALSE(toolkit.Menu("mnuUploadCancel"));
    EXPECT_TRUE(toolkit.timer); // switched on after the first tick
    queue->Tick();
    EXPECT_FALSE(toolkit.timer);
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Row(0).UploadState, "COMPLETE");
}

TEST_F(DriverTest, SilentServiceIsGivenUpAfterTheStallLimitAndTheRunGoesOn) {
    queue->SetStallLimit(1);
    Add({File("stuck.txt"), File("fine.txt")});
    ServeHangingUpload();
    ServeUpload("fine");
    queue->Start();
    ASSERT_TRUE(TickUntil([&] { return Row(0).UploadState == "ERROR"; }));
    queue->SetStallLimit(0); // a loaded machine may pause a second anywhere in the next upload
    ASSERT_TRUE(TickUntil([&] { return !queue->RunInProgress(); }));
    EXPECT_EQ(Row(0).StatusText, "S14");
    EXPECT_EQ(Row(1).UploadState, "COMPLETE");
}

TEST_F(DriverTest, CloseDuringAnUploadAsksAndCancelsOnNo) {
    EXPECT_TRUE(queue->QueryClose()); // nothing runs: no question
    EXPECT_TRUE(toolkit.messages.empty());

    Add({File("a.bin", 2 * MB)});
    ServeHangingUpload();
    queue->Start();
    toolkit.messageAnswers = {modLanguage::ID_YES, modLanguage::ID_NO};
    EXPECT_FALSE(queue->QueryClose());
    EXPECT_EQ(toolkit.messages.back().text, "M4 Upload läuft");
    EXPECT_EQ(toolkit.messages.back().flags, 36);
    EXPECT_TRUE(upload->Active());
    EXPECT_TRUE(queue->QueryClose());
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Row(0).UploadState, "IDLE");
}

// --- the information query ----------------------------------------------------------------

TEST_F(QueueTest, SilentInformationQueryFailsAfterTheStallLimitAndUnlocksOnlyAbout) {
    ScriptedServer server;
    server.Add({Step::Hang()});
    queue->SetService({});
    queue->SetInitialState();
    queue->SetStallLimit(1);
    auto info = std::make_unique<clsInfo>(settings, QtSocketFactory());
    info->SetBaseUrl(server.BaseUrl());
    queue->RequestInfo(std::move(info));
    EXPECT_TRUE(toolkit.timer); // it watches the query
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { queue->Tick(); });
    timer.start(500);
    ASSERT_TRUE(Spin([&] { return !queue->InfoPending(); }));
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, "M1 Info fehlgeschlagen");
    EXPECT_EQ(toolkit.messages[0].flags, 48);
    EXPECT_TRUE(toolkit.Menu("mnuHelpAbout") && toolkit.Button("about"));
    EXPECT_FALSE(toolkit.Menu("mnuEditAdd") || toolkit.Menu("mnuHelpNews") || toolkit.drop);
    EXPECT_EQ(toolkit.Panel("main"), "");
    EXPECT_FALSE(toolkit.timer);
}

TEST_F(QueueTest, NewerServiceVersionOffersTheHomePage) {
    EXPECT_EQ(UploadQueue::LocalVersion(), "1.00.0009");
    queue->SetHomePage("http://home/");
    const struct {
        std::string version;
        bool asks;
    } cases[] = {{"1.00.0010", true},         {"1.00.00090", true}, {"2", true},
                 {"1.00.0009\xC3\xA4", true}, {"1.00.0009", false}, {"1.00.000", false},
                 {"1.0.10", false},           {"", false}};
    for (const auto& c : cases) {
        toolkit.messages.clear();
        toolkit.openedUrls.clear();
        toolkit.messageAnswers = {modLanguage::ID_YES};
        queue->SetService({100 * MB, c.version, ""});
        queue->objInfo_Complete(true);
        EXPECT_TRUE(toolkit.messages.empty()); // never a modal box inside the network event
        toolkit.RunPosted();
        EXPECT_EQ(toolkit.messages.size(), c.asks ? 1u : 0u) << c.version;
        EXPECT_EQ(toolkit.openedUrls, c.asks ? Strings{"http://home/"} : Strings{}) << c.version;
    }
    EXPECT_EQ(toolkit.Panel("upload_maxfilesize"), "upload_maxfilesize: 100");
    toolkit.openedUrls.clear();
    toolkit.messageAnswers = {modLanguage::ID_NO};
    queue->SetService({100 * MB, "1.00.0010", ""});
    queue->objInfo_Complete(true);
    toolkit.RunPosted();
    EXPECT_EQ(toolkit.messages.back().text, "M6 Neue Version");
    EXPECT_EQ(toolkit.messages.back().flags, 36);
    EXPECT_TRUE(toolkit.openedUrls.empty()); // answered No

    // The owner releases the queue and the engine while the box is open and answers Yes:
    // nothing of them is touched afterwards.
    queue->objInfo_Complete(true);
    toolkit.messageAnswers = {modLanguage::ID_YES};
    toolkit.duringMessage = [this] {
        queue.reset();
        upload.reset();
    };
    toolkit.RunPosted();
    EXPECT_EQ(toolkit.openedUrls, Strings{});
}

} // namespace
