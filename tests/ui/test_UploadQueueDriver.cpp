// The queue driver with the real engine on a fake socket: runs, the end of each upload, cancel,
// stalls, closing and the answer of the information query.
#include "QueueFixture.h"

#include "upload/clsInfo.h"

using namespace uitest;
using testsupport::HttpAnswer;

namespace {

const std::string Idle = "-111--1111110111 -11--------10-11 10"; // with rows, no run

class DriverTest : public QueueTest {
protected:
    DriverTest() { saveAnswer = Path("upload-log.txt"); }
    // The pending request goes out and gets this answer.
    void Serve(const std::string& answer) {
        sockets.at(0)->Accept();
        sockets.at(0)->DrainAll();
        sockets.at(0)->Feed(answer);
        sockets.at(0)->PeerClose();
    }
    // The four answers of an upload that ends with links for name, then the work it posted.
    void ServeUpload(const std::string& name) {
        Serve(HttpAnswer(
            "200 OK\r\nSet-Cookie: PHPSESSID=s",
            R"(<FORM name=uploadform onsubmit="return postIt();" action="/upload.php">)"));
        Serve(HttpAnswer("302 Found\r\nLocation: /done.php"));
        Serve(HttpAnswer("200 OK", "ok"));
        Serve(HttpAnswer("200 OK", "<A id=downloadhref href=\"http://d/" + name +
                                       "\">x</A><A id=filedelhref href=\"http://del/" + name +
                                       "\">"));
        RunPosted();
    }
};

TEST_F(DriverTest, RunRequeuesErrorRowsSkipsCompleteOnesAndEndsByItself) {
    Add({File("A.txt"), File("B.txt"), File("C.txt")});
    Row(0).UploadState = "COMPLETE";
    Row(1).UploadState = "ERROR";
    settings.SetLogFilePath("/var/log/old/last.txt");
    saveAnswer = "";
    queue->Start(); // the log dialog cancelled: nothing starts
    EXPECT_EQ(saveDialog + " " + settings.LogFilePath() + std::to_string(timer),
              "last.txt in /var/log/old /var/log/old/last.txt0");
    saveAnswer = Path("upload-log.txt");
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
    EXPECT_NE(testsupport::ReadAll(Path("upload-log.txt")).find("http://del/C"), std::string::npos);
    // A run without waiting rows ends on the next tick.
    queue->Start();
    EXPECT_TRUE(timer);
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
    EXPECT_EQ(panels["file_count"] + " " + panels["upload_traffic"] + " " + panels["upload_count"] +
                  " " + buttons[size_t(Command::UploadStart)],
              "file_count: 2 upload_traffic: 1,50 upload_count: 1 1");
    queue->Tick(); // two gets no answer
    clock.Advance(1);
    EXPECT_EQ(Rows(), "two.txt,three.txt,");
    queue->Tick();
    RunPosted();
    ServeUpload("three");
    EXPECT_EQ(Rows() + panels["file_count"] + " " + panels["upload_count"],
              "file_count: 0 upload_count: 2");
    EXPECT_EQ(State(), "-100--0000010111 -10--------00-11 10");
}

TEST_F(DriverTest, CloseAsksYesKeepsGoingNoCancelsAndCancelledRowsWaitForTheNextRun) {
    EXPECT_TRUE(queue->QueryClose()); // nothing runs: no question
    Add({File("first.txt"), File("next.txt")});
    queue->Start();
    answers = {modLanguage::ID_YES, modLanguage::ID_NO};
    EXPECT_FALSE(queue->QueryClose());
    EXPECT_TRUE(upload->Active() && timer);
    queue->Cancel();
    EXPECT_EQ(Rows(&UploadItem::UploadState) + " " + State(), "IDLE,IDLE, " + Idle);
    RunPosted(); // the ending's immediate tick must not start the next row after a cancel
    EXPECT_FALSE(upload->Active());
    queue->Start();
    ServeUpload("first");
    EXPECT_TRUE(upload->Active() && queue->QueryClose());
    EXPECT_FALSE(upload->Active() || timer);
    EXPECT_EQ(Rows(&UploadItem::UploadState) + Rows(&UploadItem::DownloadUrl),
              "COMPLETE,IDLE,http://d/first,,");
    EXPECT_EQ(messages, (Strings{"M4 Upload läuft /36", "M4 Upload läuft /36"}));
}

TEST_F(QueueTest, SilentInformationQueryFailsAfterTheStallLimitAndUnlocksOnlyAbout) {
    queue->SetInitialState();
    queue->SetStallLimit(1);
    queue->RequestInfo(
        std::make_unique<clsInfo>(settings, testsupport::FakeSocketFactory(nullptr), clock));
    EXPECT_TRUE(timer); // it watches the query
    queue->Tick();
    clock.Advance(1);
    EXPECT_TRUE(queue->InfoPending());
    queue->Tick();
    EXPECT_TRUE(messages.empty() && !queue->InfoPending()); // no modal box in the network event
    RunPosted();
    EXPECT_EQ(messages, Strings{"M1 Info fehlgeschlagen /48"});
    EXPECT_EQ(State() + panels["main"], "-000--0000000001 -00--------00-01 00");
}

TEST_F(QueueTest, NewerServiceVersionOffersTheHomePageOnceTheAnswerIsHandled) {
    std::string newer;
    for (const char* version : {"1.00.0010", "1.00.00090", "2", "1.00.0009\xC3\xA4", "1.00.0009",
                                "1.00.000", "1.0.10", ""})
        newer += std::to_string(UploadQueue::IsNewerVersion(version, UploadQueue::LocalVersion()));
    EXPECT_EQ(UploadQueue::LocalVersion() + " " + newer, "1.00.0009 11110000");
    queue->SetHomePage("http://home/");
    queue->SetService({100 * MB, "1.00.0010", ""});
    answers = {modLanguage::ID_NO, modLanguage::ID_YES};
    for (size_t shown : {0u, 1u}) {
        queue->objInfo_Complete(true);
        EXPECT_EQ(messages.size(), shown); // never a modal box inside the network event
        RunPosted();
    }
    EXPECT_EQ(messages, (Strings{"M6 Neue Version /36", "M6 Neue Version /36"}));
    EXPECT_EQ(openedUrls, Strings{"http://home/"});
    // The owner releases the queue and the engine while the box is open and answers Yes:
    // nothing of them is touched afterwards.
    queue->objInfo_Complete(true);
    answers = {modLanguage::ID_YES};
    duringMessage = [this] {
        queue.reset();
        upload.reset();
    };
    RunPosted();
    EXPECT_EQ(openedUrls.size(), 1u);
}

} // namespace
