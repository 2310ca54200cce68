// clsUpload against the scripted socket: the exact requests, the answer rules and the ending.
#include "UploadTestSupport.h"
#include "http/modHTTP.h"
#include "platform/modFileSystem.h"

#include <cstdio>

using namespace uploadtest;
using testsupport::ReadFile;

namespace {

const std::string Agent = "User-Agent: Vostrand-Uploader V1.0\r\n\r\n";
const std::string Cookies0 =
    "PHPSESSID=abc123; king_sess_id=; king_uid=; king_passhash=; king_logined=; "
    "king_last_click=";

std::string Field(const std::string& boundary, const std::string& name, const std::string& value) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value + "\r\n";
}

std::string Boundary(const std::string& request) {
    return modHTTP::ExtractSubStr(request, "boundary=", "\r\n");
}

std::string PostHead(const std::string& host, const std::string& target,
                     const std::string& contentType, std::size_t length,
                     const std::string& cookie) {
    return "POST " + target + " HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n" +
           "Content-Length: " + std::to_string(length) + "\r\nContent-Type: " + contentType +
           "\r\nConnection: Close\r\nCookie: " + cookie + "\r\nHost: " + host +
           "\r\nPragma: no-cache\r\n" + Agent;
}

std::string GetRequest(const std::string& target, const std::string& cookieLine) {
    return "GET " + target +
           " HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\n" +
           cookieLine + "Host: files.example\r\nPragma: no-cache\r\n" + Agent;
}

using Engine = EngineTest;

TEST_F(Engine, AnonymousUploadSendsTheFourRequestsByteForByte) {
    AddRow("report.txt", "Hello, Vostrand!\n");
    item->BinLayerId = "BL-7";
    item->FileDescription = "Quartal & Jahr";
    item->SetPublish(true, texts);
    upload->StartUpload();
    EXPECT_EQ(Net().Host() + ":" + std::to_string(Net().Port()), "files.example:80");

    // Step 1: a plain GET of the start page, no cookie yet.
    EXPECT_EQ(TakeRequest(), GetRequest("/", ""));
    Reply(PageAnswer);
    EXPECT_EQ(upload->SessionID(), "abc123");
    EXPECT_EQ(upload->FormReturnUrl(), "http://files.example/done");

    // Step 2: the file, to the form's action, with the hidden fields and the row's options.
    EXPECT_EQ(Net().Host(), "up.example");
    const std::string fileRequest = TakeRequest();
    const std::string b = Boundary(fileRequest);
    ASSERT_EQ(b.size(), 37u);
    const std::string body =
        Field(b, "sessionid", "SID9") + Field(b, "UploadSession", "US1") +
        Field(b, "AccessKey", "AK1") + Field(b, "maxfilesize", "200") +
        Field(b, "phpuploadscript", "upload.php") +
        Field(b, "returnurl", "http://files.example/done") + "--" + b +
        "\r\nContent-Disposition: form-data; name=\"uploadfile_0\"; filename=\"" +
        modFileSystem::GetFileName(path) +
        "\"\r\nContent-Type: " + modFileSystem::GetContentType(path) +
        "\r\n\r\nHello, Vostrand!\n\r\n" + Field(b, "file_referal[0]", "BL-7") +
        Field(b, "file_descr[0]", "Quartal & Jahr") + Field(b, "file_password[0]", "") +
        Field(b, "file_search[0]", "1") + "--" + b + "--\r\n";
    EXPECT_EQ(fileRequest, PostHead("up.example", "/cgi-bin/upload.cgi?sid=1",
                                    "multipart/form-data; boundary=" + b, body.size(), Cookies0) +
                               body);
    Reply(FileAnswer);

    // Step 3: the redirect target.
    EXPECT_EQ(TakeRequest(), GetRequest("/done.php?id=7", "Cookie: " + Cookies0 + "\r\n"));
    Reply(RedirectAnswer);

    // Step 4: the links.
    const std::string form =
        "UploadSession=US1&AccessKey=AK1&uploadmode=1&submitnums=1&toemail=&fromemail=";
    EXPECT_EQ(TakeRequest(), PostHead("files.example", "/emaillinks.php",
                                      "application/x-www-form-urlencoded", form.size(), Cookies0) +
                                 form);
    EXPECT_TRUE(readyKeys.empty());
    Reply(LinksAnswer);

    ExpectEnded("COMPLETE", "S13");
    EXPECT_EQ(item->DownloadUrl, "http://files.example/d/7/report.txt");
    EXPECT_EQ(settings.StatisticCount(), 1);
    EXPECT_EQ(settings.StatisticSize(), 17);
    EXPECT_EQ(ReadFile(settings.LogFilePath()),
              "Datum/Uhrzeit: 05.12.2026 14:03:09\r\nDatei: report.txt\r\nGröße: 17 Byte\r\n"
              "Download-Link: http://files.example/d/7/report.txt\r\n"
              "Lösch-Link: http://files.example/del/7/k\r\n\r\n");
    // The status column: step 1 with its prefix and the client's state, the file step by state
    // text, steps 3 and 4 with their prefixes, then the ending.
    const std::vector<std::string> expected = {
        "S17 (0)", "S17 (1)", "S17 (2)", "S17 (3)", "S17 (5)", "S17 (6)", "S17 (7)",
        "S17 (8)", "S1",      "S2",      "S3",      "S4",      "S5",      "S6",
        "S7",      "S8",      "S9",      "S19 (0)", "S19 (1)", "S19 (2)", "S19 (3)",
        "S19 (5)", "S19 (6)", "S19 (7)", "S19 (8)", "S18 (0)", "S18 (1)", "S18 (2)",
        "S18 (3)", "S18 (4)", "S18 (5)", "S18 (6)", "S18 (7)", "S18 (8)", "S13"};
    EXPECT_EQ(statuses, expected);
}

TEST_F(Engine, PremiumLoginCookiesGoOnEveryStepAndOutliveThePremiumSetting) {
    settings.SetPremiumUse(true);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("pa ss&1");
    AddRow("report.txt", "premium");
    upload->StartUpload();

    const std::string login = TakeRequest();
    const std::string b = Boundary(login);
    const std::string body = Field(b, "act", "login") + Field(b, "user", "anna") +
                             Field(b, "pass", "pa ss&1") + Field(b, "login", "Login") + "--" + b +
                             "--\r\n";
    EXPECT_EQ(login, "POST /login.php HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
                     "Content-Length: " +
                         std::to_string(body.size()) +
                         "\r\nContent-Type: multipart/form-data; boundary=" + b +
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
    const std::string cookies = "PHPSESSID=s1; king_sess_id=ks; king_uid=42; king_passhash=ph; "
                                "king_logined=1; king_last_click=99";
    EXPECT_EQ(TakeRequest(), GetRequest("/", "Cookie: " + cookies + "\r\n"));
    // The login's session stays even when the start page sets another one.
    Reply(
        Answer("200 OK", "Set-Cookie: PHPSESSID=other\r\n", StartPage("http://up.example/u.cgi")));
    for (const std::string* answer : {&FileAnswer, &RedirectAnswer, &LinksAnswer}) {
        EXPECT_NE(TakeRequest().find("\r\nCookie: " + cookies + "\r\n"), std::string::npos);
        Reply(*answer);
    }
    ExpectEnded("COMPLETE", "S13");

    // Without premium the next upload logs in no more and starts without a session, but the
    // premium cookies of the last login still go along.
    settings.SetPremiumUse(false);
    AddRow("second.txt", "b");
    readyKeys.clear();
    upload->StartUpload();
    EXPECT_EQ(TakeRequest(), GetRequest("/", ""));
    Reply(PageAnswer);
    EXPECT_NE(TakeRequest().find("\r\nCookie: PHPSESSID=abc123; king_sess_id=ks; king_uid=42; "
                                 "king_passhash=ph; king_logined=1; king_last_click=99\r\n"),
              std::string::npos);
}

struct RuleCase {
    const char* name;
    int32_t index;      // the request whose answer this is
    std::string answer; // the whole answer
    std::string next;   // host and request line of the next request; "" when the upload ends
    const char* end;    // the state word it ends with
    std::string download;
    std::string remove;
    std::string passhash; // login answers only
};

class AnswerRule : public EngineTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(AnswerRule, DecidesWhetherTheUploadGoesOn) {
    const RuleCase& c = GetParam();
    settings.SetPremiumUse(c.index == clsUpload::RequestLogin);
    AddRow("report.txt", "abc");
    RunTo(c.index);
    TakeRequest();
    const int32_t connects = Net().ConnectCount();
    Reply(c.answer);
    if (c.index == clsUpload::RequestLogin) {
        EXPECT_EQ(upload->king_passhash(), c.passhash);
    }
    if (!c.next.empty()) {
        EXPECT_TRUE(upload->Active());
        const std::string request = TakeRequest();
        EXPECT_EQ(Net().Host() + " " + request.substr(0, request.find("\r\n")), c.next);
        return;
    }
    const bool complete = std::string(c.end) == "COMPLETE";
    ExpectEnded(c.end, complete ? "S13" : "S14");
    EXPECT_EQ(Net().ConnectCount(), connects);
    EXPECT_EQ(item->DownloadUrl, c.download);
    EXPECT_EQ(upload->LastDeleteUrl(), c.remove);
    // A failed row says why (the window's tooltip, vostrand-upload's stderr line).
    EXPECT_EQ(item->ErrorText.empty(), complete) << item->ErrorText;
    EXPECT_EQ(settings.StatisticCount(), complete ? 1 : 0);
    EXPECT_EQ(settings.StatisticSize(), complete ? 3 : 0);
    EXPECT_NE(ReadFile(settings.LogFilePath())
                  .find("Download-Link: " + c.download + "\r\nLösch-Link: " + c.remove + "\r\n"),
              std::string::npos);
}

const std::string Session = "Set-Cookie: PHPSESSID=s1; path=/\r\n";
const std::string Form =
    "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"http://u/x\">";
const std::string Down = "<A id=downloadhref href=\"http://d/1\">x</A>";
const std::string Del = "<A id=filedelhref href=\"http://d/del/1\">y</A>";

// The answer leads to the next request (host and request line).
RuleCase Goes(const char* name, int32_t index, const std::string& answer, const std::string& next,
              const std::string& passhash = "") {
    return {name, index, answer, next, "", "", "", passhash};
}
// The answer ends the upload.
RuleCase Ends(const char* name, int32_t index, const std::string& answer, const char* end = "ERROR",
              const std::string& download = "", const std::string& remove = "",
              const std::string& passhash = "") {
    return {name, index, answer, "", end, download, remove, passhash};
}
std::string Ok(const std::string& headers, const std::string& body = "") {
    return Answer("200 OK", headers, body);
}
std::string Moved(const char* status, const std::string& location) {
    return Answer(status, location.empty() ? "" : "Location: " + location + "\r\n", "");
}
// The answer less its last bytes: the peer closed before the announced length arrived.
std::string CutShort(const std::string& answer) {
    return answer.substr(0, answer.size() - 3);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AnswerRule,
    ::testing::Values(
        // Login: the session from the first Set-Cookie line, a passhash up to the next ";".
        Goes("Login", 1, Ok(Session + "Set-Cookie: king_passhash=ph;\r\n"),
             "files.example GET / HTTP/1.1", "ph"),
        Goes("PasshashRunsToALaterLine", 1,
             Ok(Session + "Set-Cookie: king_passhash=ph\r\nSet-Cookie: king_logined=1; x\r\n"),
             "files.example GET / HTTP/1.1", "ph\r\nSet-Cookie: king_logined=1"),
        Ends("PasshashWithoutSemicolon", 1, Ok(Session + "Set-Cookie: king_passhash=ph\r\n")),
        Ends("NoPasshash", 1, Ok(Session)),
        Ends("LoginSessionNotFirst", 1,
             Ok("Set-Cookie: a=k; path=/\r\n" + Session + "Set-Cookie: king_passhash=ph;\r\n"),
             "ERROR", "", "", "ph"),
        // Step 1: status 200, the session in the first Set-Cookie line, the form's action.
        Goes("HiddenFieldsMayBeMissing", 2, Ok(Session, Form), "u POST /x HTTP/1.1"),
        Ends("PageNot200", 2, Answer("500 Internal Server Error", Session, StartPage("/x"))),
        Ends("PageSessionNotFirst", 2, Ok("Set-Cookie: lang=de\r\n" + Session, StartPage("/x"))),
        Ends("NoForm", 2, Ok(Session, "<html>busy</html>")),
        Ends("PageCutShort", 2, CutShort(Ok(Session, StartPage("/x")))),
        // Step 2: 302 with a location, or 200 with a script redirect; relative targets resolve
        // against the address the file went to.
        Goes("Found", 3, Moved("302 Found", "http://files.example/ok?a=1"),
             "files.example GET /ok?a=1 HTTP/1.1"),
        Goes("ScriptRedirect", 3,
             Ok("", "<script>location.href='http://files.example/f';</script>"),
             "files.example GET /f HTTP/1.1"),
        Goes("RelativeLocation", 3, Moved("302 Found", "/done.php?id=9"),
             "up.example GET /done.php?id=9 HTTP/1.1"),
        Ends("MovedPermanently", 3, Moved("301 Moved Permanently", "http://files.example/ok")),
        Ends("SeeOther", 3, Moved("303 See Other", "http://files.example/ok")),
        Ends("PageWithoutRedirect", 3, Ok("", "<html>uploaded</html>")),
        Ends("FoundWithoutLocation", 3, Moved("302 Found", "")),
        Ends("ScriptRedirectCutShort", 3,
             CutShort(Ok("", "<script>location.href='http://files.example/f';</script>"))),
        // Only the head of a redirect is read: it is whole however much of the body came.
        Goes("FoundCutShort", 3,
             "HTTP/1.1 302 Found\r\nLocation: /ok\r\nContent-Length: 99\r\n\r\nMoved",
             "up.example GET /ok HTTP/1.1"),
        // Step 3 must answer 200.
        Ends("RedirectNotFound", 4, Answer("404 Not Found", "", "gone")),
        // Step 4: the download link alone decides; the status code is not looked at.
        Ends("BothLinks", 5, Answer("500 Oops", "", Down + Del), "COMPLETE", "http://d/1",
             "http://d/del/1"),
        Ends("DownloadLinkOnly", 5, Answer("500 Oops", "", Down), "COMPLETE", "http://d/1"),
        Ends("DeleteLinkOnly", 5, Ok("", Del), "ERROR", "", "http://d/del/1"),
        Ends("NoLinks", 5, Ok("", "<html>expired</html>")),
        Ends("LinksCutShort", 5, CutShort(Ok("", Down + Del)))),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

TEST_F(Engine, ThroughAProxyEveryRequestTakesTheProxyForm) {
    settings.SetProxyUse(true);
    settings.SetProxyHostname("proxy.local");
    settings.SetProxyPort(3128);
    settings.SetProxyUsername("max");
    settings.SetProxyPassword("geheim");
    AddRow("report.txt", "a");
    upload->StartUpload();
    EXPECT_EQ(Net().Host() + ":" + std::to_string(Net().Port()), "proxy.local:3128");
    // bWF4OmdlaGVpbQ== is max:geheim
    const std::string auth = "Proxy-Authorization: Basic bWF4OmdlaGVpbQ==\r\n";
    EXPECT_EQ(TakeRequest(), "GET http://files.example/ HTTP/1.1\r\nAccept: */*\r\n"
                             "Cache-Control: no-cache\r\nConnection: Close\r\n"
                             "Host: files.example\r\nPragma: no-cache\r\n" +
                                 auth + "Proxy-Connection: Close\r\n" + Agent);
    Reply(PageAnswer);
    const std::pair<const char*, const std::string*> steps[] = {
        {"POST http://up.example/cgi-bin/upload.cgi?sid=1 HTTP/1.1\r\n", &FileAnswer},
        {"GET http://files.example/done.php?id=7 HTTP/1.1\r\n", &RedirectAnswer},
        {"POST http://files.example/emaillinks.php HTTP/1.1\r\n", &LinksAnswer}};
    for (const auto& [line, answer] : steps) {
        EXPECT_EQ(Net().Host(), "proxy.local");
        const std::string request = TakeRequest();
        EXPECT_EQ(request.rfind(line, 0), 0u) << request;
        EXPECT_NE(request.find("\r\n" + auth), std::string::npos);
        Reply(*answer);
    }
    ExpectEnded("COMPLETE", "S13");
}

TEST_F(Engine, CancelDuringTheFileTransferKeepsTheRowIdle) {
    AddRow("report.txt", std::string(10000, 'x'));
    RunTo(clsUpload::RequestFile);
    Net().Accept();
    Net().Drain(2000);
    upload->CancelUpload();
    EXPECT_TRUE(upload->Canceled());
    ExpectEnded("IDLE", "S15");
    EXPECT_EQ(item->DownloadUrl, "");
    EXPECT_EQ(settings.StatisticCount(), 0);
    EXPECT_EQ(Net().ConnectCount(), 2);
    EXPECT_NE(ReadFile(settings.LogFilePath())
                  .find("Datei: report.txt\r\nGröße: 10.000 Byte\r\nDownload-Link: \r\n"
                        "Lösch-Link: \r\n\r\n"),
              std::string::npos);
    // A late progress refresh leaves the ended row alone.
    upload->UpdateStatus();
    EXPECT_EQ(item->ProgressText + item->SentText, "--");
    // Pressing Start again uploads the row anew.
    readyKeys.clear();
    upload->StartUpload();
    EXPECT_FALSE(upload->Canceled());
    EXPECT_EQ(TakeRequest(), GetRequest("/", ""));
}

TEST_F(Engine, CancelEndsTheUploadEvenWhenThePartialAnswerPassesItsRule) {
    AddRow("report.txt", "a");
    RunTo(clsUpload::RequestRedirect);
    TakeRequest();
    // The redirect target has answered its status line, so its rule (200) would pass.
    Net().Feed("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
    upload->CancelUpload();
    ExpectEnded("IDLE", "S19 (-2)");
    EXPECT_EQ(Net().ConnectCount(), 3);
}

TEST_F(Engine, ASocketErrorEndsTheUploadWithError) {
    AddRow("report.txt", "a");
    upload->StartUpload();
    Net().Fail(10061, "Connection refused");
    // Why it failed follows the error text.
    ExpectEnded("ERROR", "S14: Winsock Fehler 10061: Connection refused");
    EXPECT_NE(ReadFile(settings.LogFilePath()).find("Download-Link: \r\n"), std::string::npos);
}

TEST_F(Engine, AStalledRequestIsGivenUpAsAnError) {
    AddRow("report.txt", std::string(50000, 'x'));
    RunTo(clsUpload::RequestFile);
    Net().Accept();
    // Activity keeps the limit away however long the whole transfer takes.
    for (int i = 0; i < 4; ++i) {
        clock.Advance(59);
        Net().Drain(1000);
        EXPECT_FALSE(upload->CheckStall(60));
    }
    clock.Advance(59);
    EXPECT_FALSE(upload->CheckStall());
    clock.Advance(1);
    EXPECT_TRUE(upload->CheckStall()); // 60 seconds unless the owner says otherwise
    ExpectEnded("ERROR", "S14");
    EXPECT_FALSE(upload->Canceled());
    EXPECT_NE(ReadFile(settings.LogFilePath()).find("Datei: report.txt\r\n"), std::string::npos);
    clock.Advance(100);
    EXPECT_FALSE(upload->CheckStall(60));
    EXPECT_EQ(readyKeys.size(), 1u);
}

TEST_F(Engine, AnEndlessAnswerIsGivenUpAsAnError) {
    AddRow("report.txt", "a");
    upload->StartUpload();
    TakeRequest();
    // No length and no end: without a limit the page would fill the memory.
    Net().Feed("HTTP/1.1 200 OK\r\n" + Session + "\r\n" + StartPage("http://u/x"));
    const std::string block(1 << 20, 'x');
    for (int64_t fed = 0; fed <= modUpload::MaxAnswerLength && upload->Active();
         fed += static_cast<int64_t>(block.size())) {
        Net().Feed(block);
    }
    ExpectEnded("ERROR", "S14");
    EXPECT_EQ(Net().ConnectCount(), 1);

    // One endless chunk is handed on only whole, so the owner's next tick gives it up.
    readyKeys.clear();
    upload->StartUpload();
    TakeRequest();
    Net().Feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffff\r\n");
    for (int64_t fed = 0; fed <= modUpload::MaxAnswerLength; fed += 1 << 20) {
        Net().Feed(block);
    }
    EXPECT_TRUE(upload->Active());
    EXPECT_TRUE(upload->CheckStall());
    ExpectEnded("ERROR", "S14");
}

TEST_F(Engine, RowsComeAndGoAroundTheRunningRow) {
    upload->StartUpload(); // no row yet: nothing happens
    EXPECT_FALSE(upload->Active());
    EXPECT_EQ(Net().ConnectCount(), 0);

    UploadList list;
    AddRow("report.txt", "a");
    ASSERT_TRUE(list.Append(item));
    ASSERT_TRUE(list.Append(MakeUploadItem("/other", 1, settings, texts, format)));
    upload->StartUpload();
    // The owner appends and removes other rows meanwhile, and removes the row in Ready the way
    // "remove complete files" does.
    ASSERT_TRUE(list.Remove("/other"));
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(
            list.Append(MakeUploadItem("/n" + std::to_string(i), 1, settings, texts, format)));
    }
    std::string stateInReady;
    upload->Ready = [&](const std::string& key) {
        stateInReady = list.Find(key)->UploadState;
        list.Remove(key);
        upload->m_Item.reset();
    };
    const std::weak_ptr<UploadItem> watch = item;
    item.reset();
    for (const std::string* answer : {&PageAnswer, &FileAnswer, &RedirectAnswer, &LinksAnswer}) {
        TakeRequest();
        Reply(*answer);
    }
    EXPECT_EQ(stateInReady, "COMPLETE");
    EXPECT_FALSE(upload->Active());
    EXPECT_FALSE(list.Contains(path));
    EXPECT_TRUE(watch.expired()); // the engine lets go of a finished row
}

TEST_F(Engine, TheOwnerMayReleaseTheObjectInReady) {
    // However the upload ends, nothing touches the object once Ready has been raised.
    for (int way = 0; way < 3; ++way) {
        made.clear();
        upload = std::make_unique<clsUpload>(settings, texts, format,
                                             testsupport::FakeSocketFactory(&made), clock);
        int readies = 0;
        upload->Ready = [&](const std::string&) {
            ++readies;
            upload.reset();
        };
        AddRow("report.txt", "a");
        RunTo(way == 0 ? 6 : clsUpload::RequestFile);
        clsUpload* const raw = upload.get();
        if (way == 1) {
            raw->CancelUpload();
        } else if (way == 2) {
            clock.Advance(60);
            EXPECT_TRUE(raw->CheckStall());
        }
        EXPECT_EQ(readies, 1) << way;
        EXPECT_EQ(upload, nullptr);
    }
}

TEST_F(Engine, AFileGoneSinceItWasAddedIsNotUploadedEmpty) {
    AddRow("report.txt", "soon gone");
    upload->StartUpload();
    TakeRequest();
    ASSERT_EQ(std::remove(path.c_str()), 0);
    Reply(PageAnswer);
    ExpectEnded("ERROR", "S14");
    EXPECT_EQ(Net().ConnectCount(), 1);
    EXPECT_EQ(settings.StatisticCount(), 0);
}

} // namespace
