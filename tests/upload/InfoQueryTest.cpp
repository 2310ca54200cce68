// clsInfo against the scripted socket: the request, the answer and the stall limit.
#include "UploadTestSupport.h"
#include "settings/modConfig.h"
#include "support/FakeSocket.h"
#include "upload/clsInfo.h"

#include <gtest/gtest.h>

#include <optional>

using namespace uploadtest;
using testsupport::FakeSocket;

namespace {

class InfoQuery : public ::testing::Test {
protected:
    InfoQuery() {
        modUpload::ResetServiceValues();
        modUpload::SetBaseUrl("http://files.example:8080/svc/");
        info = std::make_unique<clsInfo>(settings, testsupport::FakeSocketFactory(&made), clock);
        info->Complete = [this](bool success) {
            ++completions;
            result = success;
        };
    }
    ~InfoQuery() override { modUpload::ResetServiceValues(); }

    FakeSocket& Net() { return *made.at(0); }
    std::string Request() {
        Net().Accept();
        Net().DrainAll();
        return Net().Sent();
    }
    void Reply(const std::string& answer) {
        Net().Feed(answer);
        Net().PeerClose();
    }

    ConfigSettings settings;
    FixedClock clock;
    std::vector<FakeSocket*> made;
    std::unique_ptr<clsInfo> info;
    int completions = 0;
    std::optional<bool> result;
};

TEST_F(InfoQuery, SendsOneGetWithTheUserAgent) {
    info->RequestInfo();
    EXPECT_TRUE(info->Pending());
    EXPECT_EQ(Net().Host(), "files.example");
    EXPECT_EQ(Net().Port(), 8080);
    EXPECT_EQ(Request(), "GET /svc/toolconfig.php HTTP/1.1\r\nAccept: */*\r\n"
                         "Cache-Control: no-cache\r\nConnection: Close\r\n"
                         "Host: files.example:8080\r\nPragma: no-cache\r\n"
                         "User-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    Reply("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n"
          "size=100\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten\r\n");
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(result, true);
    EXPECT_FALSE(info->Pending());
    EXPECT_EQ(modUpload::MaxFileSize(), 104857600);
    EXPECT_EQ(modUpload::Version(), "1.00.0010");
    EXPECT_EQ(modUpload::News(), "Wartung am Montag\r\nBitte neu starten");
}

TEST_F(InfoQuery, ThroughAProxy) {
    settings.SetProxyUse(true);
    settings.SetProxyHostname("127.0.0.1");
    settings.SetProxyPort(8888);
    info->RequestInfo();
    EXPECT_EQ(Net().Host(), "127.0.0.1");
    EXPECT_EQ(Net().Port(), 8888);
    EXPECT_EQ(Request(), "GET http://files.example:8080/svc/toolconfig.php HTTP/1.1\r\n"
                         "Accept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
                         "Host: files.example:8080\r\nPragma: no-cache\r\n"
                         "Proxy-Connection: Close\r\nUser-Agent: Vostrand-Uploader V1.0\r\n\r\n");
}

struct AnswerCase {
    const char* name;
    std::string answer;
    bool success;
    int64_t maxFileSize;
    std::string version;
};

class InfoQueryAnswer : public InfoQuery, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(InfoQueryAnswer, SuccessNeedsAPositiveSize) {
    const AnswerCase& c = GetParam();
    info->RequestInfo();
    Request();
    Reply(c.answer);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(result, c.success);
    EXPECT_EQ(modUpload::MaxFileSize(), c.maxFileSize);
    EXPECT_EQ(modUpload::Version(), c.version);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InfoQueryAnswer,
    ::testing::Values(
        AnswerCase{"Size", "HTTP/1.1 200 OK\r\n\r\nSIZE = 2.5", true, 2621440, ""},
        AnswerCase{"NoSizeLine", "HTTP/1.1 200 OK\r\n\r\nversion=2\nnews=hallo", false, 0, "2"},
        AnswerCase{"NotFound", "HTTP/1.1 404 Not Found\r\n\r\nsize=100\nversion=2", false, 0, ""},
        AnswerCase{"ChunkedBody",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "9\r\nsize=3\r\nv\r\n0\r\n\r\n",
                   true, 3145728, ""}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

TEST_F(InfoQuery, ANetworkErrorReportsFalse) {
    info->RequestInfo();
    Net().Fail(10061, "Connection refused");
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(result, false);
    EXPECT_EQ(modUpload::Version(), "");
}

TEST_F(InfoQuery, AServiceThatNeverAnswersIsGivenUp) {
    info->RequestInfo();
    Request();
    clock.Advance(59);
    EXPECT_FALSE(info->CheckStall(60));
    EXPECT_EQ(completions, 0);
    clock.Advance(1);
    EXPECT_TRUE(info->CheckStall(60));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(result, false);
    EXPECT_FALSE(info->Pending());
    clock.Advance(120);
    EXPECT_FALSE(info->CheckStall(60));
    EXPECT_EQ(completions, 1);
}

TEST_F(InfoQuery, AStallWhileConnectingIsGivenUpToo) {
    info->RequestInfo(); // the connection never opens
    clock.Advance(5);
    EXPECT_FALSE(info->CheckStall(6));
    clock.Advance(1);
    EXPECT_TRUE(info->CheckStall(6));
    EXPECT_EQ(result, false);
}

} // namespace
