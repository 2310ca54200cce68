// The queue driver with the real engine on a fake socket: runs, the end of each upload, cancel,
// the stall limit, the close request and the answer of the information query.
#include "QueueFixture.h"

#include "upload/clsInfo.h"

using namespace uitest;

namespace {

std::string Answer(const std::string& head, const std::string& body = "") {
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

class DriverTest : public QueueTest {
protected:
    DriverTest() {
        upload->SetBaseUrl("http://files.example/");
        toolkit.saveAnswer = Path("upload-log.txt");
    }
    testsupport::FakeSocket& Net() { return *sockets.at(0); }
    // The pending request goes out and gets this answer.
    void Serve(const std::string& answer) {
        Net().Accept();
        Net().DrainAll();
        Net().Feed(answer);
        Net().PeerClose();
    }
    void ServePage() {
        Serve(Answer("200 OK\r\nSet-Cookie: PHPSESSID=s",
                     R"(<FORM name=uploadform onsubmit="return postIt();" action="/upload.php">)"));
    }
    // The four answers of an upload that ends with links for name, then the work it posted.
    void ServeUpload(const std::string& name) {
        ServePage();
        Serve(Answer("302 Found\r\nLocation: /done.php"));
        Serve(Answer("200 OK", "ok"));
        Serve(Answer("200 OK", "<A id=downloadhref href=\"http://d/" + name +
                                   "\">x</A><A id=filedelhref href=\"http://del/" + name + "\">"));
        toolkit.RunPosted();
    }
    // The names of the files posted so far, in order.
    std::string Posted() {
        const std::string sent = Net().Sent(), mark = "filename=\"";
        std::string names;
        for (auto at = sent.find(mark); at != std::string::npos; at = sent.find(mark, at + 1))
            names +=
                sent.substr(at + mark.size(), sent.find('"', at + mark.size()) - at - 10) + ",";
        return names;
    }
};

TEST_F(DriverTest, RunRequeuesErrorRowsSkipsCompleteOnesAndEndsByItself) {
    Add({File("A.txt"), File("B.txt"), File("C.txt")});
    Row(0).UploadState = "COMPLETE";
    Row(0).StatusText = "S13";
    Row(1).UploadState = "ERROR";
    settings.SetLogFilePath("/var/log/old/last.txt");
    queue->Start();
    EXPECT_EQ(toolkit.saveDialog + " " + settings.LogFilePath(),
              "last.txt in /var/log/old " + Path("upload-log.txt"));
    // The first tick ran at once: B is on its way, C waits, A is left alone.
    EXPECT_EQ(upload->m_Item.get(), &Row(1));
    EXPECT_EQ(Rows(&UploadItem::StatusText).substr(0, 4) + Rows(&UploadItem::UploadState),
              "S13,COMPLETE,IDLE,IDLE,");
    EXPECT_EQ(Row(2).StatusText, "S1");
    EXPECT_EQ(Commands(), "00011110011 0001 01");

    // No timer tick between the rows: each ending starts the next one.
    ServeUpload("B");
    ServeUpload("C");
    EXPECT_EQ(Posted(), "B.txt,C.txt,");
    EXPECT_EQ(Row(1).DownloadUrl, "http://d/B");
    EXPECT_EQ(Rows(&UploadItem::StatusText) + Rows(&UploadItem::UploadState),
              "S13,S13,S13,COMPLETE,COMPLETE,COMPLETE,");
    EXPECT_FALSE(Row(2).Uploading);
    const auto run = queue->Progress(); // A was complete before: not part of the run
    EXPECT_EQ(std::to_string(run.BytesSent) + "/" + std::to_string(run.BytesTotal) + " " +
                  std::to_string(run.Completed) + std::to_string(run.Failed),
              "20/20 20");
    EXPECT_EQ(Commands(), "11111111101 1110 10");
    // RemoveCompleteFiles off: the rows stay and the counter panels were not touched.
    EXPECT_EQ(toolkit.panels.count("upload_count") + toolkit.rowCount, 3u);
    const std::string log = testsupport::ReadAll(Path("upload-log.txt"));
    EXPECT_NE(log.find("http://d/B"), std::string::npos);
    EXPECT_NE(log.find("http://del/C"), std::string::npos);

    // A cancelled log dialog starts nothing; a run without waiting rows ends on the next tick.
    toolkit.saveAnswer = "";
    queue->Start();
    EXPECT_FALSE(toolkit.timer);
    toolkit.saveAnswer = Path("log.txt");
    queue->Start();
    EXPECT_EQ(Commands(), "11111111101 1110 11");
    queue->Tick();
    EXPECT_EQ(Commands(), "11111111101 1110 10");
    EXPECT_FALSE(upload->Active());
}

TEST_F(DriverTest, RemoveCompleteFilesEmptiesTheListWhateverTheResult) {
    settings.SetRemoveCompleteFiles(true);
    Add({File("one.txt", 1572864), File("two.txt"), File("three.txt")});
    queue->Start();
    ServeUpload("one");
    // The ending refreshed the panels and gave the upload button back.
    EXPECT_EQ(toolkit.panels["file_count"] + " " + toolkit.panels["upload_traffic"] + " " +
                  toolkit.panels["upload_count"],
              "file_count: 2 upload_traffic: 1,50 upload_count: 1");
    EXPECT_TRUE(toolkit.buttons["upload"]);
    Serve(Answer("500 Internal Server Error")); // two ends "ERROR"
    toolkit.RunPosted();
    ServeUpload("three");
    EXPECT_EQ(queue->List().Count() + toolkit.rowCount, 0);
    EXPECT_EQ(toolkit.panels["file_count"] + " " + toolkit.panels["upload_count"],
              "file_count: 0 upload_count: 2");
    EXPECT_EQ(Commands(), "10000000101 1000 10");
    EXPECT_EQ(Posted(), "one.txt,three.txt,");
}

TEST_F(DriverTest, CancelMidUploadLeavesTheRowWaitingForTheNextRun) {
    Add({File("big.bin", MB), File("next.txt")});
    queue->Start();
    ServePage();
    Net().Accept();
    Net().Drain(4096); // the file post is under way
    queue->Cancel();
    EXPECT_EQ(Rows(&UploadItem::UploadState) + Rows(&UploadItem::StatusText) + Row(0).DownloadUrl,
              "IDLE,IDLE,S15,S1,");
    EXPECT_EQ(Commands(), "11111111101 1110 10");
    // The ending posted its immediate tick, which must not start the next row after a cancel.
    toolkit.RunPosted();
    EXPECT_FALSE(upload->Active());

    // The next run uploads the interrupted row from its beginning, then the other.
    Net().ClearRecord();
    queue->Start();
    ServeUpload("big");
    ServeUpload("next");
    EXPECT_EQ(Rows(&UploadItem::UploadState), "COMPLETE,COMPLETE,");
    EXPECT_EQ(Posted(), "big.bin,next.txt,");
}

TEST_F(DriverTest, SilentServiceIsGivenUpAfterTheStallLimitAndTheRunGoesOn) {
    queue->SetStallLimit(1);
    Add({File("stuck.txt"), File("fine.txt")});
    queue->Start();
    Net().Accept();
    Net().DrainAll();
    queue->Tick();
    EXPECT_EQ(Row(0).UploadState, "IDLE");
    clock.Advance(1);
    queue->Tick();
    EXPECT_EQ(Row(0).UploadState + Row(0).StatusText, "ERRORS14");
    toolkit.RunPosted();
    ServeUpload("fine");
    EXPECT_EQ(Row(1).UploadState, "COMPLETE");
    EXPECT_FALSE(queue->RunInProgress());
}

TEST_F(DriverTest, CloseDuringAnUploadAsksAndCancelsOnNo) {
    EXPECT_TRUE(queue->QueryClose()); // nothing runs: no question
    Add({File("a.bin")});
    queue->Start();
    toolkit.answers = {modLanguage::ID_YES, modLanguage::ID_NO};
    EXPECT_FALSE(queue->QueryClose());
    EXPECT_TRUE(upload->Active() && toolkit.timer);
    EXPECT_TRUE(queue->QueryClose());
    EXPECT_FALSE(upload->Active() || toolkit.timer);
    EXPECT_EQ(toolkit.messages, (Strings{"M4 Upload läuft /36", "M4 Upload läuft /36"}));
    EXPECT_EQ(Row(0).UploadState, "IDLE");
}

TEST_F(QueueTest, SilentInformationQueryFailsAfterTheStallLimitAndUnlocksOnlyAbout) {
    std::vector<testsupport::FakeSocket*> made;
    queue->SetService({});
    queue->SetInitialState();
    queue->SetStallLimit(1);
    queue->RequestInfo(
        std::make_unique<clsInfo>(settings, testsupport::FakeSocketFactory(&made), clock));
    EXPECT_TRUE(toolkit.timer); // it watches the query
    made.at(0)->Accept();
    made.at(0)->DrainAll();
    clock.Advance(1);
    queue->Tick();
    EXPECT_FALSE(queue->InfoPending());
    EXPECT_TRUE(toolkit.messages.empty()); // never a modal box inside the network event
    toolkit.RunPosted();
    EXPECT_EQ(toolkit.messages, Strings{"M1 Info fehlgeschlagen /48"});
    EXPECT_EQ(Commands() + toolkit.panels["main"], "00000000000 0000 00");
    EXPECT_TRUE(toolkit.menus["mnuHelpAbout"] && toolkit.buttons["about"]);
}

TEST_F(QueueTest, NewerServiceVersionOffersTheHomePage) {
    EXPECT_EQ(UploadQueue::LocalVersion(), "1.00.0009");
    queue->SetHomePage("http://home/");
    // Per version: boxes shown inside the answer, boxes shown after it, pages opened on Yes.
    std::string asked;
    for (const char* version : {"1.00.0010", "1.00.00090", "2", "1.00.0009\xC3\xA4", "1.00.0009",
                                "1.00.000", "1.0.10", ""}) {
        toolkit.messages.clear();
        toolkit.openedUrls.clear();
        toolkit.answers = {modLanguage::ID_YES};
        queue->SetService({100 * MB, version, ""});
        queue->objInfo_Complete(true);
        asked += std::to_string(toolkit.messages.size());
        toolkit.RunPosted();
        asked += std::to_string(toolkit.messages.size()) +
                 std::to_string(toolkit.openedUrls.size()) + " ";
    }
    EXPECT_EQ(asked, "011 011 011 011 000 000 000 000 ");
    EXPECT_EQ(toolkit.panels["upload_maxfilesize"], "upload_maxfilesize: 100");
    toolkit.answers = {modLanguage::ID_NO};
    queue->SetService({100 * MB, "1.00.0010", ""});
    queue->objInfo_Complete(true);
    toolkit.RunPosted();
    EXPECT_EQ(toolkit.messages, Strings{"M6 Neue Version /36"});
    EXPECT_TRUE(toolkit.openedUrls.empty());

    // The owner releases the queue and the engine while the box is open and answers Yes:
    // nothing of them is touched afterwards.
    queue->objInfo_Complete(true);
    toolkit.answers = {modLanguage::ID_YES};
    toolkit.duringMessage = [this] {
        queue.reset();
        upload.reset();
    };
    toolkit.RunPosted();
    EXPECT_TRUE(toolkit.openedUrls.empty());
}

} // namespace
