// clsUpload against the scripted socket: the exact requests, the answer rules and the ending.
#include "UploadTestSupport.h"
#include "http/modHTTP.h"
#include "platform/modFileSystem.h"
#include "settings/modConfig.h"
#include "support/FakeSocket.h"
#include "support/TempDir.h"
#include "upload/clsUpload.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace uploadtest;
using testsupport::FakeSocket;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const std::string Cookies0 =
    "PHPSESSID=abc123; king_sess_id=; king_uid=; king_passhash=; king_logined=; "
    "king_last_click=";

std::string Answer(const std::string& statusLine, const std::string& headers,
                   const std::string& body) {
    return "HTTP/1.1 " + statusLine + "\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string StartPage(const std::string& action) {
    return "<html><body>\n<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" + action +
           "\" method=post enctype=\"multipart/form-data\">\n"
           "<input type=\"hidden\" name=\"sessionid\" value=\"SID9\">\n"
           "<input type=\"hidden\" name=\"UploadSession\" value=\"US1\">\n"
           "<input type=\"hidden\" name=\"AccessKey\" value=\"AK1\">\n"
           "<input type=\"hidden\" name=\"maxfilesize\" value=\"200\">\n"
           "<input type=\"hidden\" name=\"phpuploadscript\" value=\"upload.php\">\n"
           "<input type=\"hidden\" name=\"returnurl\" value=\"http://files.example/done\">\n"
           "</FORM></body></html>";
}

const std::string PageAnswer =
    Answer("200 OK", "Set-Cookie: PHPSESSID=abc123; path=/\r\nSet-Cookie: other=1\r\n",
           StartPage("http://up.example/cgi-bin/upload.cgi?sid=1"));
const std::string FileAnswer =
    Answer("302 Found", "Location: http://files.example/done.php?id=7\r\n", "");
const std::string RedirectAnswer = Answer("200 OK", "", "<html>thanks</html>");
const std::string LinksAnswer =
    Answer("200 OK", "",
           "<p><A id=downloadhref href=\"http://files.example/d/7/report.txt\">download</A>"
           "<A id=filedelhref href=\"http://files.example/del/7/k\">delete</A></p>");

std::string Field(const std::string& boundary, const std::string& name, const std::string& value) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value + "\r\n";
}

std::string Boundary(const std::string& request) {
    return modHTTP::ExtractSubStr(request, "boundary=", "\r\n");
}

class UploadProtocol : public ::testing::Test {
protected:
    UploadProtocol() {
        modUpload::ResetServiceValues();
        modUpload::SetBaseUrl("http://files.example/");
        settings.SetLogFilePath(dir.FilePath("upload.log"));
        clock.Set(LocalTime(2026, 12, 5, 14, 3, 9));
        upload = std::make_unique<clsUpload>(settings, texts, format,
                                             testsupport::FakeSocketFactory(&made), clock);
        upload->Ready = [this](const std::string& key) {
            readyKeys.push_back(key);
            activeInReady = upload->Active();
            // The owner may try to start the next row from here; it must not start.
            upload->StartUpload();
        };
        upload->TrayTip = [this](const std::string& text) { tips.push_back(text); };
        upload->ItemChanged = [this](const std::string&) {
            if (!upload->m_Item) {
                return;
            }
            if (statuses.empty() || statuses.back() != upload->m_Item->StatusText) {
                statuses.push_back(upload->m_Item->StatusText);
            }
        };
    }
    ~UploadProtocol() override { modUpload::ResetServiceValues(); }

    FakeSocket& Net() { return *made.at(0); }

    void AddRow(const std::string& name, const std::string& content) {
        content_ = content;
        path = dir.WriteFile(name, content);
        item = MakeUploadItem(path, static_cast<int64_t>(content.size()), settings, texts, format);
        upload->m_Item = item;
    }

    // Opens the pending connection and lets the whole request go out; its bytes.
    std::string TakeRequest() {
        Net().ClearRecord();
        Net().Accept();
        Net().DrainAll();
        return Net().Sent();
    }
    void Reply(const std::string& answer) {
        Net().Feed(answer);
        Net().PeerClose();
    }

    std::string UploadHead(const std::string& host, const std::string& target,
                           const std::string& contentType, std::size_t length,
                           const std::string& cookie) const {
        return "POST " + target + " HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n" +
               "Content-Length: " + std::to_string(length) + "\r\nContent-Type: " + contentType +
               "\r\nConnection: Close\r\nCookie: " + cookie + "\r\nHost: " + host +
               "\r\nPragma: no-cache\r\nUser-Agent: Vostrand-Uploader V1.0\r\n\r\n";
    }

    std::string FileBody(const std::string& boundary) const {
        std::string body =
            Field(boundary, "sessionid", "SID9") + Field(boundary, "UploadSession", "US1") +
            Field(boundary, "AccessKey", "AK1") + Field(boundary, "maxfilesize", "200") +
            Field(boundary, "phpuploadscript", "upload.php") +
            Field(boundary, "returnurl", "http://files.example/done");
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"uploadfile_0\"; filename=\"" + path +
                "\"\r\nContent-Type: " + modFileSystem::GetContentType(path) + "\r\n\r\n" +
                content_ + "\r\n";
        body += Field(boundary, "file_referal[0]", item->BinLayerId) +
                Field(boundary, "file_descr[0]", item->FileDescription) +
                Field(boundary, "file_password[0]", item->FilePassword) +
                Field(boundary, "file_search[0]", item->PublishFlag) + "--" + boundary + "--\r\n";
        return body;
    }

    // Runs steps 1 to 4 with the standard answers.
    void RunAnonymousUpload() {
        upload->StartUpload();
        TakeRequest();
        Reply(PageAnswer);
        TakeRequest();
        Reply(FileAnswer);
        TakeRequest();
        Reply(RedirectAnswer);
        TakeRequest();
        Reply(LinksAnswer);
    }

    void ExpectEnded(const char* state, const std::string& status) {
        EXPECT_EQ(item->UploadState, state);
        EXPECT_EQ(item->StatusText, status);
        EXPECT_EQ(readyKeys, std::vector<std::string>{path});
        EXPECT_TRUE(activeInReady);
        EXPECT_FALSE(upload->Active());
        EXPECT_EQ(item->ProgressText, "-");
        EXPECT_EQ(item->SentText, "-");
        EXPECT_EQ(item->RemainingText, "-");
        ASSERT_FALSE(tips.empty());
        EXPECT_EQ(tips.back(), "Vostrand-Uploader");
    }

    TempDir dir;
    ConfigSettings settings;
    modLanguage::TextLists texts = GermanTexts();
    NumberFormat format = GermanFormat();
    FixedClock clock;
    std::vector<FakeSocket*> made;
    std::unique_ptr<clsUpload> upload;
    std::shared_ptr<UploadItem> item;
    std::string path;
    std::string content_;
    std::vector<std::string> readyKeys;
    bool activeInReady = false;
    std::vector<std::string> tips;
    std::vector<std::string> statuses;
};

TEST_F(UploadProtocol, AnonymousUploadSendsTheFourRequestsByteForByte) {
    AddRow("report.txt", "Hello, Vostrand!\n");
    item->BinLayerId = "BL-7";
    item->FileDescription = "Quartal & Jahr";
    item->SetPublish(true, texts);
    upload->StartUpload();
    EXPECT_TRUE(upload->Active());
    EXPECT_EQ(Net().Host(), "files.example");
    EXPECT_EQ(Net().Port(), 80);

    // Step 1: a plain GET of the start page, no cookie yet.
    EXPECT_EQ(TakeRequest(), "GET / HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
                             "Connection: Close\r\nHost: files.example\r\nPragma: no-cache\r\n"
                             "User-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    Reply(PageAnswer);
    EXPECT_EQ(upload->SessionID(), "abc123");
    EXPECT_EQ(upload->FormAction(), "http://up.example/cgi-bin/upload.cgi?sid=1");
    EXPECT_EQ(upload->FormReturnUrl(), "http://files.example/done");

    // Step 2: the file, to the form's action, with the hidden fields and the row's options.
    EXPECT_EQ(Net().Host(), "up.example");
    const std::string fileRequest = TakeRequest();
    const std::string boundary = Boundary(fileRequest);
    ASSERT_EQ(boundary.size(), 37u);
    const std::string body = FileBody(boundary);
    EXPECT_EQ(fileRequest,
              UploadHead("up.example", "/cgi-bin/upload.cgi?sid=1",
                         "multipart/form-data; boundary=" + boundary, body.size(), Cookies0) +
                  body);
    Reply(FileAnswer);

    // Step 3: the redirect target.
    EXPECT_EQ(TakeRequest(), "GET /done.php?id=7 HTTP/1.1\r\nAccept: */*\r\n"
                             "Cache-Control: no-cache\r\nConnection: Close\r\nCookie: " +
                                 Cookies0 +
                                 "\r\nHost: files.example\r\nPragma: no-cache\r\n"
                                 "User-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    Reply(RedirectAnswer);

    // Step 4: the links.
    const std::string form =
        "UploadSession=US1&AccessKey=AK1&uploadmode=1&submitnums=1&toemail=&fromemail=";
    EXPECT_EQ(TakeRequest(),
              UploadHead("files.example", "/emaillinks.php", "application/x-www-form-urlencoded",
                         form.size(), Cookies0) +
                  form);
    EXPECT_TRUE(readyKeys.empty());
    Reply(LinksAnswer);

    ExpectEnded("COMPLETE", "S13");
    EXPECT_EQ(item->DownloadUrl, "http://files.example/d/7/report.txt");
    EXPECT_EQ(upload->LastDeleteUrl(), "http://files.example/del/7/k");
    EXPECT_EQ(settings.StatisticCount(), 1);
    EXPECT_EQ(settings.StatisticSize(), 17);
    EXPECT_EQ(Net().ConnectCount(), 4);
    EXPECT_EQ(ReadFile(settings.LogFilePath()),
              "Datum/Uhrzeit: 05.12.2026 14:03:09\r\nDatei: report.txt\r\nGröße: 17 Byte\r\n"
              "Download-Link: http://files.example/d/7/report.txt\r\n"
              "Lösch-Link: http://files.example/del/7/k\r\n\r\n");
}

TEST_F(UploadProtocol, StatusTextFollowsTheClientStatePerStep) {
    AddRow("report.txt", "x");
    RunAnonymousUpload();
    // Step 1 with its prefix and state, the file step by state text, step 3 and step 4 with
    // their prefixes, then the ending.
    const std::vector<std::string> expected = {
        "S17 (0)", "S17 (1)", "S17 (2)", "S17 (3)", "S17 (5)", "S17 (6)", "S17 (7)",
        "S17 (8)", "S1",      "S2",      "S3",      "S4",      "S5",      "S6",
        "S7",      "S8",      "S9",      "S19 (0)", "S19 (1)", "S19 (2)", "S19 (3)",
        "S19 (5)", "S19 (6)", "S19 (7)", "S19 (8)", "S18 (0)", "S18 (1)", "S18 (2)",
        "S18 (3)", "S18 (4)", "S18 (5)", "S18 (6)", "S18 (7)", "S18 (8)", "S13"};
    EXPECT_EQ(statuses, expected);
}

TEST_F(UploadProtocol, PremiumLoginThenCookiesOnEveryStep) {
    settings.SetPremiumUse(true);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("pa ss&1");
    AddRow("report.txt", "premium");
    upload->StartUpload();

    const std::string login = TakeRequest();
    const std::string boundary = Boundary(login);
    const std::string body = Field(boundary, "act", "login") + Field(boundary, "user", "anna") +
                             Field(boundary, "pass", "pa ss&1") +
                             Field(boundary, "login", "Login") + "--" + boundary + "--\r\n";
    EXPECT_EQ(login, "POST /login.php HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
                     "Content-Length: " +
                         std::to_string(body.size()) +
                         "\r\nContent-Type: multipart/form-data; boundary=" + boundary +
                         "\r\nConnection: Close\r\nHost: files.example\r\nPragma: no-cache\r\n"
                         "Referer: http://files.example/\r\n"
                         "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n\r\n" +
                         body);
    EXPECT_EQ(item->StatusText, "S16 (5)");

    // The session from the first Set-Cookie line; of two king_uid lines the last one counts,
    // whatever the letter case of the line.
    Reply(Answer("302 Found",
                 "Set-Cookie: PHPSESSID=s1; path=/\r\nSet-Cookie: king_sess_id=ks; path=/\r\n"
                 "Set-Cookie: king_uid=old; path=/\r\nset-cookie: KING_UID=42; path=/\r\n"
                 "Set-Cookie: king_passhash=ph; path=/\r\nSet-Cookie: king_logined=1; path=/\r\n"
                 "Set-Cookie: king_last_click=99; path=/\r\nLocation: /\r\n",
                 ""));
    EXPECT_EQ(upload->king_uid(), "42");
    const std::string cookies = "PHPSESSID=s1; king_sess_id=ks; king_uid=42; king_passhash=ph; "
                                "king_logined=1; king_last_click=99";
    EXPECT_EQ(TakeRequest(), "GET / HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
                             "Connection: Close\r\nCookie: " +
                                 cookies +
                                 "\r\nHost: files.example\r\nPragma: no-cache\r\n"
                                 "User-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    // The login's session stays even when the start page sets another one.
    Reply(
        Answer("200 OK", "Set-Cookie: PHPSESSID=other\r\n", StartPage("http://up.example/u.cgi")));
    EXPECT_EQ(upload->SessionID(), "s1");
    EXPECT_NE(TakeRequest().find("\r\nCookie: " + cookies + "\r\n"), std::string::npos);
    Reply(FileAnswer);
    EXPECT_NE(TakeRequest().find("\r\nCookie: " + cookies + "\r\n"), std::string::npos);
    Reply(RedirectAnswer);
    EXPECT_NE(TakeRequest().find("\r\nCookie: " + cookies + "\r\n"), std::string::npos);
    Reply(LinksAnswer);
    ExpectEnded("COMPLETE", "S13");
}

TEST_F(UploadProtocol, PremiumCookiesStayAfterPremiumIsSwitchedOff) {
    settings.SetPremiumUse(true);
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    Reply(Answer("200 OK",
                 "Set-Cookie: PHPSESSID=s1\r\nSet-Cookie: king_uid=42; path=/\r\n"
                 "Set-Cookie: king_passhash=ph; path=/\r\n",
                 ""));
    TakeRequest();
    Reply(PageAnswer);
    TakeRequest();
    Reply(FileAnswer);
    TakeRequest();
    Reply(RedirectAnswer);
    TakeRequest();
    Reply(LinksAnswer);
    ASSERT_EQ(item->UploadState, "COMPLETE");

    settings.SetPremiumUse(false);
    AddRow("second.txt", "b");
    readyKeys.clear();
    upload->StartUpload();
    EXPECT_EQ(upload->SessionID(), "");
    // No login, and no cookie on the start page: the session of the last upload is gone.
    const std::string first = TakeRequest();
    EXPECT_EQ(first.rfind("GET / HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(first.find("Cookie:"), std::string::npos);
    Reply(PageAnswer);
    EXPECT_NE(TakeRequest().find("\r\nCookie: PHPSESSID=abc123; king_sess_id=; king_uid=42; "
                                 "king_passhash=ph; king_logined=; king_last_click=\r\n"),
              std::string::npos);
}

struct LoginCase {
    const char* name;
    std::string headers;
    std::string passhash;
    bool proceeds;
};

class LoginAnswer : public UploadProtocol, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginAnswer, NeedsTheSessionInTheFirstSetCookieAndAPasshash) {
    const LoginCase& c = GetParam();
    settings.SetPremiumUse(true);
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    Reply(Answer("200 OK", c.headers, ""));
    EXPECT_EQ(upload->king_passhash(), c.passhash);
    if (c.proceeds) {
        EXPECT_TRUE(upload->Active());
        EXPECT_EQ(Net().ConnectCount(), 2);
    } else {
        ExpectEnded("ERROR", "S14");
        EXPECT_EQ(Net().ConnectCount(), 1);
        EXPECT_EQ(settings.StatisticCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LoginAnswer,
    ::testing::Values(
        LoginCase{"Complete", "Set-Cookie: PHPSESSID=s1\r\nSet-Cookie: king_passhash=ph;\r\n", "ph",
                  true},
        // The value runs to the next ";" wherever it is, even on a later line.
        LoginCase{"PasshashRunsToALaterLine",
                  "Set-Cookie: PHPSESSID=s1\r\nSet-Cookie: king_passhash=ph\r\n"
                  "Set-Cookie: king_logined=1; path=/\r\n",
                  "ph\r\nSet-Cookie: king_logined=1", true},
        LoginCase{"PasshashWithoutSemicolon",
                  "Set-Cookie: PHPSESSID=s1; path=/\r\nSet-Cookie: king_passhash=ph\r\n", "",
                  false},
        LoginCase{"NoPasshash", "Set-Cookie: PHPSESSID=s1; path=/\r\n", "", false},
        LoginCase{"SessionNotInTheFirstLine",
                  "Set-Cookie: king_sess_id=k; path=/\r\nSet-Cookie: PHPSESSID=s1; path=/\r\n"
                  "Set-Cookie: king_passhash=ph; path=/\r\n",
                  "ph", false}),
    [](const ::testing::TestParamInfo<LoginCase>& info) { return std::string(info.param.name); });

struct PageCase {
    const char* name;
    std::string answer;
    bool proceeds;
};

class StartPageAnswer : public UploadProtocol, public ::testing::WithParamInterface<PageCase> {};

TEST_P(StartPageAnswer, NeedsStatus200ASessionAndTheForm) {
    const PageCase& c = GetParam();
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    Reply(c.answer);
    if (c.proceeds) {
        EXPECT_TRUE(upload->Active());
        EXPECT_EQ(Net().ConnectCount(), 2);
    } else {
        ExpectEnded("ERROR", "S14");
        EXPECT_EQ(Net().ConnectCount(), 1);
        EXPECT_EQ(item->DownloadUrl, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StartPageAnswer,
    ::testing::Values(
        PageCase{"Standard", PageAnswer, true},
        PageCase{
            "HiddenFieldsMayBeMissing",
            Answer("200 OK", "Set-Cookie: PHPSESSID=a\r\n",
                   "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"http://u/x\">"),
            true},
        PageCase{"NotStatus200",
                 Answer("500 Internal Server Error", "Set-Cookie: PHPSESSID=a\r\n",
                        StartPage("http://u/x")),
                 false},
        PageCase{"SessionNotInTheFirstSetCookie",
                 Answer("200 OK", "Set-Cookie: lang=de\r\nSet-Cookie: PHPSESSID=a\r\n",
                        StartPage("http://u/x")),
                 false},
        PageCase{"NoForm", Answer("200 OK", "Set-Cookie: PHPSESSID=a\r\n", "<html>busy</html>"),
                 false}),
    [](const ::testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

struct FileAnswerCase {
    const char* name;
    std::string answer;
    std::string target; // host and request line of step 3; "" when the upload ends
};

class FileStepAnswer : public UploadProtocol,
                       public ::testing::WithParamInterface<FileAnswerCase> {};

TEST_P(FileStepAnswer, TakesTheRedirectFromLocationOr200Page) {
    const FileAnswerCase& c = GetParam();
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    TakeRequest();
    Reply(c.answer);
    if (c.target.empty()) {
        ExpectEnded("ERROR", "S14");
        EXPECT_EQ(Net().ConnectCount(), 2);
    } else {
        EXPECT_TRUE(upload->Active());
        const std::string request = TakeRequest();
        EXPECT_EQ(Net().Host() + " " + request.substr(0, request.find("\r\n")), c.target);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FileStepAnswer,
    ::testing::Values(
        FileAnswerCase{"Found",
                       Answer("302 Found", "Location: http://files.example/ok?a=1\r\n", ""),
                       "files.example GET /ok?a=1 HTTP/1.1"},
        FileAnswerCase{"PageWithScriptRedirect",
                       Answer("200 OK", "",
                              "<script>location.href='http://files.example/fin.php?u=2';</script>"),
                       "files.example GET /fin.php?u=2 HTTP/1.1"},
        // A relative target is resolved against the address the file was posted to.
        FileAnswerCase{"RelativeLocation", Answer("302 Found", "Location: /done.php?id=9\r\n", ""),
                       "up.example GET /done.php?id=9 HTTP/1.1"},
        FileAnswerCase{"MovedPermanently",
                       Answer("301 Moved Permanently", "Location: http://files.example/ok\r\n", ""),
                       ""},
        FileAnswerCase{"SeeOther",
                       Answer("303 See Other", "Location: http://files.example/ok\r\n", ""), ""},
        FileAnswerCase{"PageWithoutRedirect", Answer("200 OK", "", "<html>uploaded</html>"), ""},
        FileAnswerCase{"FoundWithoutLocation", Answer("302 Found", "", ""), ""}),
    [](const ::testing::TestParamInfo<FileAnswerCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(UploadProtocol, RedirectTargetMustAnswer200) {
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    TakeRequest();
    Reply(FileAnswer);
    TakeRequest();
    Reply(Answer("404 Not Found", "", "gone"));
    ExpectEnded("ERROR", "S14");
    EXPECT_EQ(Net().ConnectCount(), 3);
}

struct LinksCase {
    const char* name;
    std::string body;
    const char* state;
    std::string download;
    std::string remove;
};

class LinksAnswerRule : public UploadProtocol, public ::testing::WithParamInterface<LinksCase> {};

TEST_P(LinksAnswerRule, SuccessIsDecidedByTheDownloadLinkAlone) {
    const LinksCase& c = GetParam();
    AddRow("report.txt", "abc");
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    TakeRequest();
    Reply(FileAnswer);
    TakeRequest();
    Reply(RedirectAnswer);
    TakeRequest();
    Reply(Answer("500 Oops", "", c.body)); // the status code is not looked at
    const bool complete = std::string(c.state) == "COMPLETE";
    ExpectEnded(c.state, complete ? "S13" : "S14");
    EXPECT_EQ(item->DownloadUrl, c.download);
    EXPECT_EQ(upload->LastDeleteUrl(), c.remove);
    EXPECT_EQ(settings.StatisticCount(), complete ? 1 : 0);
    EXPECT_EQ(settings.StatisticSize(), complete ? 3 : 0);
    const std::string log = ReadFile(settings.LogFilePath());
    EXPECT_NE(log.find("Download-Link: " + c.download + "\r\nLösch-Link: " + c.remove + "\r\n\r\n"),
              std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LinksAnswerRule,
    ::testing::Values(LinksCase{"Both",
                                "<A id=downloadhref href=\"http://d/1\">x</A>"
                                "<A id=filedelhref href=\"http://d/del/1\">y</A>",
                                "COMPLETE", "http://d/1", "http://d/del/1"},
                      LinksCase{"DownloadOnly", "<A id=downloadhref href=\"http://d/1\">x</A>",
                                "COMPLETE", "http://d/1", ""},
                      LinksCase{"DeleteOnly", "<A id=filedelhref href=\"http://d/del/1\">y</A>",
                                "ERROR", "", "http://d/del/1"},
                      LinksCase{"Neither", "<html>session expired</html>", "ERROR", "", ""}),
    [](const ::testing::TestParamInfo<LinksCase>& info) { return std::string(info.param.name); });

TEST_F(UploadProtocol, ThroughAProxyEveryRequestUsesFlags84AndTheProxyForm) {
    settings.SetProxyUse(true);
    settings.SetProxyHostname("proxy.local");
    settings.SetProxyPort(3128);
    settings.SetProxyUsername("max");
    settings.SetProxyPassword("geheim");
    AddRow("report.txt", "a");
    upload->StartUpload();
    EXPECT_EQ(Net().Host(), "proxy.local");
    EXPECT_EQ(Net().Port(), 3128);
    // bWF4OmdlaGVpbQ== is max:geheim
    EXPECT_EQ(TakeRequest(), "GET http://files.example/ HTTP/1.1\r\nAccept: */*\r\n"
                             "Cache-Control: no-cache\r\nConnection: Close\r\n"
                             "Host: files.example\r\nPragma: no-cache\r\n"
                             "Proxy-Authorization: Basic bWF4OmdlaGVpbQ==\r\n"
                             "Proxy-Connection: Close\r\n"
                             "User-Agent: Vostrand-Uploader V1.0\r\n\r\n");
    Reply(PageAnswer);
    EXPECT_EQ(Net().Host(), "proxy.local");
    const std::string file = TakeRequest();
    EXPECT_EQ(file.rfind("POST http://up.example/cgi-bin/upload.cgi?sid=1 HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(file.find("\r\nProxy-Authorization: Basic bWF4OmdlaGVpbQ==\r\n"), std::string::npos);
    Reply(FileAnswer);
    EXPECT_EQ(TakeRequest().rfind("GET http://files.example/done.php?id=7 HTTP/1.1\r\n", 0), 0u);
    Reply(RedirectAnswer);
    EXPECT_EQ(TakeRequest().rfind("POST http://files.example/emaillinks.php HTTP/1.1\r\n", 0), 0u);
    Reply(LinksAnswer);
    ExpectEnded("COMPLETE", "S13");
}

TEST_F(UploadProtocol, CancelDuringTheFileTransferKeepsTheRowIdle) {
    AddRow("report.txt", std::string(10000, 'x'));
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    Net().Accept();
    Net().Drain(2000);
    upload->CancelUpload();
    EXPECT_TRUE(upload->Canceled());
    ExpectEnded("IDLE", "S15");
    EXPECT_EQ(item->DownloadUrl, "");
    EXPECT_EQ(settings.StatisticCount(), 0);
    // A late progress refresh leaves the ended row alone.
    upload->UpdateStatus();
    EXPECT_EQ(item->ProgressText, "-");
    EXPECT_EQ(item->SentText, "-");
    EXPECT_EQ(Net().ConnectCount(), 2);
    const std::string log = ReadFile(settings.LogFilePath());
    EXPECT_NE(log.find("Datei: report.txt\r\nGröße: 10.000 Byte\r\nDownload-Link: \r\n"
                       "Lösch-Link: \r\n\r\n"),
              std::string::npos)
        << log;
    // Pressing Start again uploads the row anew.
    readyKeys.clear();
    upload->StartUpload();
    EXPECT_TRUE(upload->Active());
    EXPECT_FALSE(upload->Canceled());
    EXPECT_EQ(TakeRequest().rfind("GET / HTTP/1.1\r\n", 0), 0u);
}

TEST_F(UploadProtocol, CancelEndsTheUploadEvenWhenThePartialAnswerPassesItsRule) {
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    TakeRequest();
    Reply(FileAnswer);
    TakeRequest();
    // The redirect target has answered its status line, so its rule (200) would pass.
    Net().Feed("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
    upload->CancelUpload();
    ExpectEnded("IDLE", "S19 (-2)");
    EXPECT_EQ(Net().ConnectCount(), 3);
}

TEST_F(UploadProtocol, ASocketErrorEndsTheUploadWithError) {
    AddRow("report.txt", "a");
    upload->StartUpload();
    Net().Fail(10061, "Connection refused");
    ExpectEnded("ERROR", "S14");
    EXPECT_EQ(item->DownloadUrl, "");
    EXPECT_NE(ReadFile(settings.LogFilePath()).find("Download-Link: \r\n"), std::string::npos);
}

TEST_F(UploadProtocol, AStalledRequestIsGivenUpAsAnError) {
    AddRow("report.txt", std::string(5000, 'x'));
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    Net().Accept();
    Net().Drain(1000);
    clock.Advance(59);
    EXPECT_FALSE(upload->CheckStall(60));
    EXPECT_TRUE(upload->Active());
    clock.Advance(1);
    EXPECT_TRUE(upload->CheckStall(60));
    ExpectEnded("ERROR", "S14");
    EXPECT_FALSE(upload->Canceled());
    EXPECT_NE(ReadFile(settings.LogFilePath()).find("Datei: report.txt\r\n"), std::string::npos);
    // Nothing more once it has ended.
    clock.Advance(100);
    EXPECT_FALSE(upload->CheckStall(60));
    EXPECT_EQ(readyKeys.size(), 1u);
}

TEST_F(UploadProtocol, ActivityKeepsTheStallLimitAway) {
    AddRow("report.txt", std::string(50000, 'x'));
    upload->StartUpload();
    TakeRequest();
    Reply(PageAnswer);
    Net().Accept();
    for (int i = 0; i < 5; ++i) {
        clock.Advance(30);
        Net().Drain(1000);
        EXPECT_FALSE(upload->CheckStall(60));
    }
    EXPECT_TRUE(upload->Active());
}

TEST_F(UploadProtocol, ARowDroppedByListAndOwnerWhileUploadingIsStillFinished) {
    UploadList list;
    AddRow("report.txt", "a");
    ASSERT_TRUE(list.Append(item));
    upload->StartUpload();
    ASSERT_TRUE(list.Remove(path));
    const std::weak_ptr<UploadItem> watch = item;
    item.reset();
    upload->m_Item.reset();
    TakeRequest();
    Reply(PageAnswer);
    TakeRequest();
    Reply(FileAnswer);
    TakeRequest();
    Reply(RedirectAnswer);
    TakeRequest();
    Reply(LinksAnswer);
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(watch.lock()->UploadState, "COMPLETE");
    EXPECT_EQ(readyKeys, std::vector<std::string>{path});
}

TEST_F(UploadProtocol, AFileGoneSinceItWasAddedIsNotUploadedEmpty) {
    AddRow("report.txt", "soon gone");
    upload->StartUpload();
    TakeRequest();
    ASSERT_EQ(std::remove(path.c_str()), 0);
    Reply(PageAnswer);
    ExpectEnded("ERROR", "S14");
    EXPECT_EQ(Net().ConnectCount(), 1);
    EXPECT_EQ(settings.StatisticCount(), 0);
}

TEST_F(UploadProtocol, StartWithoutARowDoesNothing) {
    upload->StartUpload();
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Net().ConnectCount(), 0);
    EXPECT_TRUE(readyKeys.empty());
}

} // namespace
