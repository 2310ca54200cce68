// clsInfo against the scripted socket, and the base URL rules of modUpload.
#include "UploadTestSupport.h"
#include "upload/clsInfo.h"

using namespace uploadtest;

namespace {

class InfoQuery : public ScriptedNet {
protected:
    // A new query whose request has gone out, unless the connection is not to open.
    void Start(bool open = true) {
        made.clear();
        done.clear();
        info = std::make_unique<clsInfo>(settings, FakeSocketFactory(&made), clock);
        info->SetBaseUrl("http://files.example:8080/svc/");
        info->Complete = [this](bool success) { done += success ? "ok," : "failed,"; };
        info->RequestInfo();
        if (open) {
            const std::string request = TakeRequest();
            EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /svc/toolconfig.php HTTP/1.1");
        }
    }
    std::unique_ptr<clsInfo> info;
    std::string done; // a word for each Complete
};

TEST_F(InfoQuery, EachAnswerGivesItsValues) {
    struct Row {
        std::string answer; // a body after "200 OK", or a whole answer starting with "HTTP/"
        bool success;
        int64_t maxFileSize;
        std::string versionAndNews;
    } rows[] = {
        {"size=100\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten", true,
         104857600, "1.00.0010|Wartung am Montag\r\nBitte neu starten"},
        {"SIZE = 2.5", true, 2621440, "|"},
        {"size=1\rversion=2\rnews=x", true, 1048576, "2|x"},
        {"size=1\nversion=2\nnews=x\n", true, 1048576, "2|x"},
        {"size=abc\nversion=3", false, 0, "3|"},
        {"size=250MB", true, 262144000, "|"},
        {"size=-5", false, 0, "|"},
        {"news= a=b \nsize=1", true, 1048576, "|a=b"},
        {"version=1\nversion=2\nsize=1\nsize=2", true, 2097152, "2|"},
        {"<html>\nfoo=bar\n=9\nsize=1", true, 1048576, "|"},
        {"version=2\nnews=hallo", false, 0, "2|hallo"},
        {"HTTP/1.1 404 Not Found\r\n\r\nsize=100", false, 0, "|"},
        // Cut off by an orderly close: "size=1" of "size=100" must not pass for a value.
        {"HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nsize=1", false, 0, "|"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nsize=3\r\n", false, 0, "|"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nsize=3\r\nv\r\n0\r\n\r\n", true,
         3145728, "|"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.answer);
        Start();
        Reply(r.answer.rfind("HTTP/", 0) == 0 ? r.answer : "HTTP/1.1 200 OK\r\n\r\n" + r.answer);
        EXPECT_EQ(done, r.success ? "ok," : "failed,");
        EXPECT_EQ(info->ErrorText().empty(), r.success) << info->ErrorText();
        EXPECT_EQ(info->Values().MaxFileSize, r.maxFileSize);
        EXPECT_EQ(info->Values().Version + "|" + info->Values().News, r.versionAndNews);
    }
}

// A stalled or endless answer may stop in the middle of a line ("size=1" of "size=100"): none
// of it is read, and it ends once.
TEST_F(InfoQuery, AStalledOrEndlessAnswerIsGivenUpUnread) {
    for (const bool endless : {false, true}) {
        Start();
        Net().Feed("HTTP/1.1 200 OK\r\n\r\nsize=1\n");
        clock.Advance(59);
        EXPECT_FALSE(info->CheckStall());
        clock.Advance(endless ? 0 : 1);
        for (int64_t fed = 0; endless && fed <= modUpload::MaxAnswerLength && info->Pending();
             fed += 1 << 20)
            Net().Feed(std::string(1 << 20, '\n'));
        EXPECT_EQ(endless || info->CheckStall(), true);
        EXPECT_EQ(done + std::to_string(info->Values().MaxFileSize), "failed,0");
        clock.Advance(120);
        EXPECT_FALSE(info->CheckStall());
    }
}

TEST_F(InfoQuery, TheOwnerMayReleaseTheObjectInComplete) {
    Start(false); // the connection never opens
    info->Complete = [&](bool) {
        done += "released,";
        info.reset();
    };
    clock.Advance(5);
    EXPECT_FALSE(info->CheckStall(6));
    clock.Advance(1);
    EXPECT_TRUE(info->CheckStall(6));
    EXPECT_EQ(done, "released,");
    EXPECT_EQ(info, nullptr);
}

TEST(BaseUrl, EnvironmentThenConfigurationThenDefault) {
    QTemporaryDir dir;
    const std::string config = WriteFile(dir, "config.ini", "[service]\r\nBASE_URL=\"u:1/v\"\r\n");
    const std::string empty = WriteFile(dir, "empty.ini", "[Service]\r\nbase_url=\r\n");
    EXPECT_EQ(modUpload::ResolveBaseUrl("http://env", config), "http://env/");
    EXPECT_EQ(modUpload::ResolveBaseUrl("", config) + modUpload::ResolveBaseUrl(nullptr, config),
              "http://u:1/v/http://u:1/v/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, empty), "http://127.0.0.1:8931/");
    EXPECT_EQ(modUpload::NormalizeBaseUrl(" "), "http://127.0.0.1:8931/");
}

} // namespace
