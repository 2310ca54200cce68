// clsInfo against the scripted socket, and the base URL rules of modUpload.
#include "UploadTestSupport.h"
#include "upload/clsInfo.h"

#include <optional>

using namespace uploadtest;

namespace {

class InfoQuery : public ScriptedNet {
protected:
    InfoQuery() {
        info = std::make_unique<clsInfo>(settings, testsupport::FakeSocketFactory(&made), clock);
        info->SetBaseUrl("http://files.example:8080/svc/");
        info->Complete = [this](bool success) {
            ++completions;
            result = success;
        };
    }

    std::string Request() {
        info->RequestInfo();
        return TakeRequest();
    }

    ConfigSettings settings;
    FixedClock clock;
    std::unique_ptr<clsInfo> info;
    int completions = 0;
    std::optional<bool> result;
};

TEST_F(InfoQuery, SendsOneGetDirectlyOrThroughTheProxy) {
    EXPECT_EQ(Request(), "GET /svc/toolconfig.php HTTP/1.1\r\nAccept: */*\r\n"
                         "Cache-Control: no-cache\r\nConnection: Close\r\n"
                         "Host: files.example:8080\r\nPragma: no-cache\r\n"
                         "User-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    EXPECT_TRUE(info->Pending());
    Reply("HTTP/1.1 200 OK\r\n\r\nsize=1");
    EXPECT_FALSE(info->Pending());

    settings.SetProxyUse(true);
    settings.SetProxyHostname("127.0.0.1");
    settings.SetProxyPort(8888);
    EXPECT_EQ(Request(), "GET http://files.example:8080/svc/toolconfig.php HTTP/1.1\r\n"
                         "Accept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\n"
                         "Host: files.example:8080\r\nPragma: no-cache\r\n"
                         "Proxy-Connection: Close\r\nUser-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    EXPECT_EQ(Net().Host() + ":" + std::to_string(Net().Port()), "127.0.0.1:8888");
}

struct AnswerCase {
    const char* name;
    std::string answer; // a body after "200 OK", or a whole answer starting with "HTTP/"
    bool success;
    int64_t maxFileSize;
    std::string version;
    std::string news;
};

class InfoAnswer : public InfoQuery, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(InfoAnswer, GivesTheServiceValues) {
    const AnswerCase& c = GetParam();
    Request();
    Reply(c.answer.rfind("HTTP/", 0) == 0 ? c.answer : "HTTP/1.1 200 OK\r\n\r\n" + c.answer);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(result, c.success);
    EXPECT_EQ(info->Values().MaxFileSize, c.maxFileSize);
    EXPECT_EQ(info->Values().Version, c.version);
    EXPECT_EQ(info->Values().News, c.news);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, InfoAnswer,
    ::testing::Values(
        AnswerCase{
            "AllThree",
            "size=100\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten\r\n", true,
            104857600, "1.00.0010", "Wartung am Montag\r\nBitte neu starten"},
        AnswerCase{"KeyTrimmedAndCaseFolded", "SIZE = 2.5", true, 2621440, "", ""},
        AnswerCase{"BareCarriageReturns", "size=1\rversion=2\rnews=x", true, 1048576, "2", "x"},
        AnswerCase{"BareLineFeeds", "size=1\nversion=2\nnews=x\n", true, 1048576, "2", "x"},
        AnswerCase{"NoLeadingNumber", "size=abc\nversion=3", false, 0, "3", ""},
        AnswerCase{"NumberWithUnit", "size=250MB", true, 262144000, "", ""},
        AnswerCase{"NegativeSize", "size=-5", false, 0, "", ""},
        AnswerCase{"ValueHoldsEquals", "news= a=b \nsize=1", true, 1048576, "", "a=b"},
        AnswerCase{"LaterLineWins", "version=1\nversion=2\nsize=1\nsize=2", true, 2097152, "2", ""},
        AnswerCase{"OtherLinesIgnored", "<html>\nfoo=bar\n=9\nsize=1", true, 1048576, "", ""},
        AnswerCase{"NoSizeLine", "version=2\nnews=hallo", false, 0, "2", "hallo"},
        AnswerCase{"NotFound", "HTTP/1.1 404 Not Found\r\n\r\nsize=100\nversion=2", false, 0, "",
                   ""},
        AnswerCase{
            "ChunkedBody",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nsize=3\r\nv\r\n0\r\n\r\n",
            true, 3145728, "", ""}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

// A failed, stalled or endless answer may stop in the middle of a line ("size=1" of "size=100"):
// none of it is read.
TEST_F(InfoQuery, OnlyAWholeAnswerCounts) {
    const std::string partial = "HTTP/1.1 200 OK\r\n\r\nsize=1";
    auto expectFalse = [&](int n) {
        EXPECT_EQ(completions, n);
        EXPECT_EQ(result, false);
        EXPECT_FALSE(info->Pending());
        EXPECT_EQ(info->Values().MaxFileSize, 0);
    };
    // Cut off by a network error.
    Request();
    Net().Feed(partial);
    Net().Fail(10054, "Connection reset by peer");
    expectFalse(1);

    // A connection that never opens, under the owner's limit.
    info->RequestInfo();
    clock.Advance(5);
    EXPECT_FALSE(info->CheckStall(6));
    clock.Advance(1);
    EXPECT_TRUE(info->CheckStall(6));
    expectFalse(2);

    // Silent after part of the answer, under the default limit.
    Request();
    Net().Feed(partial);
    clock.Advance(59);
    EXPECT_FALSE(info->CheckStall());
    clock.Advance(1);
    EXPECT_TRUE(info->CheckStall());
    expectFalse(3);
    clock.Advance(120);
    EXPECT_FALSE(info->CheckStall());

    // An answer without end.
    Request();
    Net().Feed(partial + "\n");
    const std::string block(1 << 20, '\n');
    for (int64_t fed = 0; fed <= modUpload::MaxAnswerLength && info->Pending();
         fed += static_cast<int64_t>(block.size())) {
        Net().Feed(block);
    }
    expectFalse(4);
}

TEST_F(InfoQuery, TheOwnerMayReleaseTheObjectInComplete) {
    info->Complete = [&](bool) {
        ++completions;
        info.reset();
    };
    info->RequestInfo();
    clock.Advance(60);
    EXPECT_TRUE(info->CheckStall());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(info, nullptr);
}

TEST(BaseUrl, EnvironmentThenConfigurationThenDefault) {
    testsupport::TempDir dir;
    const std::string config =
        dir.WriteFile("config.ini", "[Main]\r\nlanguage=Deutsch\r\n[service]\r\n"
                                    "BASE_URL=\"http://files.example:8080/vostrand\"\r\n");
    const std::string empty = dir.WriteFile("empty.ini", "[Service]\r\nbase_url=\r\n");
    EXPECT_EQ(modUpload::ResolveBaseUrl("http://env.example", config), "http://env.example/");
    EXPECT_EQ(modUpload::ResolveBaseUrl("127.0.0.1:9000", config), "http://127.0.0.1:9000/");
    EXPECT_EQ(modUpload::ResolveBaseUrl("", config), "http://files.example:8080/vostrand/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, config), "http://files.example:8080/vostrand/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, dir.FilePath("missing.ini")),
              "http://127.0.0.1:8931/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, empty), "http://127.0.0.1:8931/");

    EXPECT_EQ(modUpload::NormalizeBaseUrl("http://127.0.0.1:9000/app"),
              "http://127.0.0.1:9000/app/");
    EXPECT_EQ(modUpload::NormalizeBaseUrl(" "), "http://127.0.0.1:8931/");
}

} // namespace
