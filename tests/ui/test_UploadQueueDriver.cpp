// The queue driver with the real engine on a fake socket: runs, the end of each upload, cancel,
// the stall limit, the close request and the answer of the information query.
#include "QueueFixture.h"

#include "upload/clsInfo.h"

using namespace uitest;

namespace {

const std::string Idle = "-111--1111110111 -11--------10-11 10"; // with rows, no run

std::string Answer(const std::string& head, const std::string& body = "") {
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body;
}

class DriverTest : public QueueTest {
protected:
    DriverTest() { toolkit.saveAnswer = Path("upload-log.txt"); }
    testsupport::FakeSocket& Net() { return *sockets.at(0); }
    // The pending request goes out and gets this answer (none: it stays silent).
    void Serve(const std::string& answer) {
        Net().Accept();
        Net().DrainAll();
        if (!answer.empty()) {
            Net().Feed(answer);
            Net().PeerClose();
        }
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
};

TEST_F(DriverTest, RunRequeuesErrorRowsSkipsCompleteOnesAndEndsByItself) {
    Add({File("A.txt"), File("B.txt"), File("C.txt")});
    Row(0).UploadState = "COMPLETE";
    Row(1).UploadState = "ERROR";
    settings.SetLogFilePath("/var/log/old/last.txt");
    toolkit.saveAnswer = "";
    queue->Start(); // the log dialog cancelled: nothing starts
    EXPECT_EQ(toolkit.saveDialog + " " + settings.LogFilePath() + std::to_string(toolkit.timer),
              "last.txt in /var/log/old /var/log/old/last.txt0");
    toolkit.saveAnswer = Path("upload-log.txt");
    queue->Start();
    EXPECT_EQ(State(), "-000--1111001111 -00--------01-11 01");
    // No timer tick between the rows: each ending starts the next one.
    ServeUpload("B");
    ServeUpload("C");
    EXPECT_EQ(Rows(&UploadItem::DownloadUrl), "-,http://d/B,http://d/C,");
    const auto run = queue->Progress(); // A was complete before: not part of the run
    EXPECT_EQ(std::vector<int64_t>({run.BytesSent, run.BytesTotal, run.Completed, run.Failed}),
              std::vector<int64_t>({20, 20, 2, 0}));
    EXPECT_EQ(State(), Idle);
    EXPECT_EQ(toolkit.panels.count("upload_count"), 0u); // counters only when rows go
    EXPECT_NE(testsupport::ReadAll(Path("upload-log.txt")).find("http://del/C"), std::string::npos);
    // A run without waiting rows ends on the next tick.
    queue->Start();
    EXPECT_TRUE(toolkit.timer);
    queue->Tick();
    EXPECT_EQ(State(), Idle);
}

TEST_F(DriverTest, RemoveCompleteFilesEmptiesTheListWhateverTheResultAndStallsFail) {
    settings.SetRemoveCompleteFiles(true);
    queue->SetStallLimit(1);
    Add({File("one.txt", 1572864), File("two.txt"), File("three.txt")});
    queue->Start();
    ServeUpload("one");
    // The ending refreshed the panels and gave the upload button back.
    EXPECT_EQ(toolkit.panels["file_count"] + " " + toolkit.panels["upload_traffic"] + " " +
                  toolkit.panels["upload_count"] + " " + toolkit.buttons[11],
              "file_count: 2 upload_traffic: 1,50 upload_count: 1 1");
    Serve(""); // two stays silent until the stall limit
    queue->Tick();
    EXPECT_EQ(Rows(&UploadItem::UploadState), "IDLE,IDLE,");
    clock.Advance(1);
    queue->Tick();
    EXPECT_EQ(Rows(), "three.txt,");
    toolkit.RunPosted();
    ServeUpload("three");
    EXPECT_EQ(Rows() + toolkit.panels["file_count"] + " " + toolkit.panels["upload_count"],
              "file_count: 0 upload_count: 2");
    EXPECT_EQ(State(), "-100--0000010111 -10--------00-11 10");
}

TEST_F(DriverTest, CancelMidUploadLeavesTheRowWaitingForTheNextRun) {
    Add({File("big.bin", MB), File("next.txt")});
    queue->Start();
    ServePage();
    Net().Accept();
    Net().Drain(4096); // the file post is under way
    queue->Cancel();
    EXPECT_EQ(Rows(&UploadItem::UploadState) + Rows(&UploadItem::StatusText), "IDLE,IDLE,S15,S1,");
    EXPECT_EQ(State(), Idle);
    // The ending posted its immediate tick, which must not start the next row after a cancel.
    toolkit.RunPosted();
    EXPECT_FALSE(upload->Active());

    // The next run uploads the interrupted row from its beginning, then the other.
    queue->Start();
    ServeUpload("big");
    ServeUpload("next");
    EXPECT_EQ(Rows(&UploadItem::DownloadUrl), "http://d/big,http://d/next,");
}

TEST_F(DriverTest, CloseDuringAnUploadAsksYesKeepsGoingNoCancels) {
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
    queue->SetInitialState();
    queue->SetStallLimit(1);
    queue->RequestInfo(
        std::make_unique<clsInfo>(settings, testsupport::FakeSocketFactory(&made), clock));
    made.at(0)->Accept();
    made.at(0)->DrainAll();
    EXPECT_TRUE(toolkit.timer); // it watches the query
    clock.Advance(1);
    queue->Tick();
    EXPECT_FALSE(queue->InfoPending());
    EXPECT_TRUE(toolkit.messages.empty()); // never a modal box inside the network event
    toolkit.RunPosted();
    EXPECT_EQ(toolkit.messages, Strings{"M1 Info fehlgeschlagen /48"});
    EXPECT_EQ(State() + toolkit.panels["main"], "-000--0000000001 -00--------00-01 00");
}

TEST_F(QueueTest, NewerServiceVersionOffersTheHomePage) {
    EXPECT_EQ(UploadQueue::LocalVersion(), "1.00.0009");
    queue->SetHomePage("http://home/");
    // Per version: boxes shown inside the answer, after it, and pages opened on Yes.
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
