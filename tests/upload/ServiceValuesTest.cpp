#include "support/TempDir.h"
#include "upload/clsInfo.h"
#include "upload/modUpload.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

struct InfoCase {
    const char* name;
    std::string answer;
    int64_t maxFileSize;
    std::string version;
    std::string news;
};

class InfoAnswer : public ::testing::TestWithParam<InfoCase> {
protected:
    void SetUp() override { modUpload::ResetServiceValues(); }
    void TearDown() override { modUpload::ResetServiceValues(); }
};

TEST_P(InfoAnswer, GivesTheServiceValues) {
    const InfoCase& c = GetParam();
    clsInfo::ParseAnswer(c.answer);
    EXPECT_EQ(modUpload::MaxFileSize(), c.maxFileSize);
    EXPECT_EQ(modUpload::Version(), c.version);
    EXPECT_EQ(modUpload::News(), c.news);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, InfoAnswer,
    ::testing::Values(
        InfoCase{"AllThree",
                 "size=100\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten\r\n",
                 104857600, "1.00.0010", "Wartung am Montag\r\nBitte neu starten"},
        InfoCase{"KeyTrimmedAndCaseFolded", "SIZE = 2.5", 2621440, "", ""},
        InfoCase{"BareCarriageReturns", "size=1\rversion=2\rnews=x", 1048576, "2", "x"},
        InfoCase{"BareLineFeeds", "size=1\nversion=2\nnews=x\n", 1048576, "2", "x"},
        InfoCase{"NoLeadingNumber", "size=abc\nversion=3", 0, "3", ""},
        InfoCase{"NumberWithUnit", "size=250MB", 262144000, "", ""},
        InfoCase{"NegativeSize", "size=-5", 0, "", ""},
        InfoCase{"ValueHoldsEquals", "news= a=b \n", 0, "", "a=b"},
        InfoCase{"LaterLineWins", "version=1\nversion=2\nsize=1\nsize=2", 2097152, "2", ""},
        InfoCase{"OtherKeysAndLinesIgnored", "<html>\nfoo=bar\n=9\nsize=1", 1048576, "", ""}),
    [](const ::testing::TestParamInfo<InfoCase>& info) { return std::string(info.param.name); });

class BaseUrl : public ::testing::Test {
protected:
    void TearDown() override { modUpload::ResetServiceValues(); }
    TempDir dir;
};

TEST_F(BaseUrl, EnvironmentThenConfigurationThenDefault) {
    const std::string config =
        dir.WriteFile("config.ini", "[Main]\r\nlanguage=Deutsch\r\n[service]\r\n"
                                    "BASE_URL=\"http://files.example:8080/vostrand\"\r\n");
    EXPECT_EQ(modUpload::ResolveBaseUrl("http://env.example/", config), "http://env.example/");
    EXPECT_EQ(modUpload::ResolveBaseUrl("http://env.example", config), "http://env.example/");
    EXPECT_EQ(modUpload::ResolveBaseUrl("127.0.0.1:9000", config), "http://127.0.0.1:9000/");
    EXPECT_EQ(modUpload::ResolveBaseUrl("", config), "http://files.example:8080/vostrand/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, config), "http://files.example:8080/vostrand/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, dir.FilePath("missing.ini")),
              "http://127.0.0.1:8931/");
    const std::string empty = dir.WriteFile("empty.ini", "[Service]\r\nbase_url=\r\n");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, empty), "http://127.0.0.1:8931/");
    EXPECT_EQ(modUpload::ResolveBaseUrl(nullptr, ""), "http://127.0.0.1:8931/");
}

TEST_F(BaseUrl, SetterAddsTheSlashAndEmptyRestoresTheDefault) {
    modUpload::SetBaseUrl("http://127.0.0.1:9000/app");
    EXPECT_EQ(modUpload::BaseUrl(), "http://127.0.0.1:9000/app/");
    modUpload::SetBaseUrl("");
    EXPECT_EQ(modUpload::BaseUrl(), "http://127.0.0.1:8931/");
}

} // namespace
