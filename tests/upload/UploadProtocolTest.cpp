// clsUpload against the scripted socket: the exact requests, the answer rules and the ending.
#include "UploadTestSupport.h"
#include "http/modHTTP.h"

#include <QFile>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>

using namespace uploadtest;

namespace {

const std::string Cookies0 = "PHPSESSID=abc123; king_sess_id=; king_uid=; king_passhash=; "
                             "king_logined=; king_last_click=";

// Multipart text fields from name, value, name, value, ...
std::string Fields(const std::string& b, const std::vector<std::string>& nameValues) {
    std::string body;
    for (size_t i = 0; i + 1 < nameValues.size(); i += 2)
        body += "--" + b + "\r\nContent-Disposition: form-data; name=\"" + nameValues[i] +
                "\"\r\n\r\n" + nameValues[i + 1] + "\r\n";
    return body;
}

std::string PostHead(const std::string& host, const std::string& target, const std::string& type,
                     const std::string& body, const std::string& cookie = Cookies0) {
    return "POST " + target + " HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nContent-Type: " + type +
           "\r\nConnection: Close\r\nCookie: " + cookie + "\r\nHost: " + host +
           "\r\nPragma: no-cache\r\nUser-Agent: Vostrand-Uploader V1.0\r\n\r\n";
}

std::string GetRequest(const std::string& target, const std::string& cookie) {
    return "GET " + target +
           " HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\n" +
           (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") +
           "Host: files.example\r\nPragma: no-cache\r\nUser-Agent: Vostrand-Uploader V1.0\r\n\r\n";
}

using Engine = EngineTest;

TEST_F(Engine, AnonymousUploadSendsTheFourRequestsByteForByte) {
    AddRow("report.txt", "Hello, Vostrand!\n");
    item->BinLayerId = "BL-7";
    item->FileDescription = "Quartal & Jahr";
    item->SetPublish(true, texts);
    upload->StartUpload();
    EXPECT_EQ(Net().Host() + ":" + std::to_string(Net().Port()), "files.example:80");
    EXPECT_EQ(TakeRequest(), GetRequest("/", ""));
    Reply(PageAnswer);
    // The file goes to the form's action with the hidden fields and the row's options.
    EXPECT_EQ(Net().Host(), "up.example");
    const std::string request = TakeRequest();
    const std::string b = modHTTP::ExtractSubStr(request, "boundary=", "\r\n");
    ASSERT_EQ(b.size(), 37u);
    const std::string body =
        Fields(b,
               {"sessionid", "SID9", "UploadSession", "US1", "AccessKey", "AK1", "maxfilesize",
                "200", "phpuploadscript", "upload.php", "returnurl", "http://files.example/done"}) +
        "--" + b +
        "\r\nContent-Disposition: form-data; name=\"uploadfile_0\"; filename=\"report.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\nHello, Vostrand!\n\r\n" +
        Fields(b, {"file_referal[0]", "BL-7", "file_descr[0]", "Quartal & Jahr", "file_password[0]",
                   "", "file_search[0]", "1"}) +
        "--" + b + "--\r\n";
    EXPECT_EQ(request, PostHead("up.example", "/cgi-bin/upload.cgi?sid=1",
                                "multipart/form-data; boundary=" + b, body) +
                           body);
    Reply(FileAnswer);
    EXPECT_EQ(TakeRequest(), GetRequest("/done.php?id=7", Cookies0));
    Reply(RedirectAnswer);
    const std::string form =
        "UploadSession=US1&AccessKey=AK1&uploadmode=1&submitnums=1&toemail=&fromemail=";
    EXPECT_EQ(TakeRequest(), PostHead("files.example", "/emaillinks.php",
                                      "application/x-www-form-urlencoded", form) +
                                 form);
    EXPECT_TRUE(readyKeys.empty());
    Reply(LinksAnswer);

    ExpectEnded("COMPLETE S13");
    EXPECT_EQ(item->DownloadUrl, "http://files.example/d/7/report.txt");
    EXPECT_EQ(settings.StatisticCount() * 1000 + settings.StatisticSize(), 1017);
    EXPECT_EQ(ReadAll(settings.LogFilePath()),
              "Datum/Uhrzeit: 05.12.2026 14:03:09\r\nDatei: report.txt\r\nGröße: 17 Byte\r\n"
              "Download-Link: http://files.example/d/7/report.txt\r\n"
              "Lösch-Link: http://files.example/del/7/k\r\n\r\n");
    EXPECT_EQ(QFile::permissions(QString::fromStdString(settings.LogFilePath())),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser); // secrets
    // Step 1 with its prefix and the client's state, the file step by state text, steps 3 and
    // 4 with their prefixes, then the ending.
    EXPECT_EQ(statuses, "S17 (0),S17 (1),S17 (2),S17 (3),S17 (5),S17 (6),S17 (7),S17 (8),"
                        "S1,S2,S3,S4,S5,S6,S7,S8,S9,S19 (0),S19 (1),S19 (2),S19 (3),"
                        "S19 (5),S19 (6),S19 (7),S19 (8),S18 (0),S18 (1),S18 (2),S18 (3),"
                        "S18 (4),S18 (5),S18 (6),S18 (7),S18 (8),S13,");
    const std::weak_ptr<UploadItem> row = std::exchange(item, nullptr);
    upload->m_Item.reset();
    EXPECT_TRUE(row.expired()); // the engine lets go of a finished row
}

TEST_F(Engine, PremiumLoginCookiesGoOnEveryStepAndOutliveThePremiumSetting) {
    settings.SetPremiumUse(true);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("pa ss&1");
    AddRow("report.txt", "premium");
    upload->StartUpload();
    const std::string login = TakeRequest();
    const std::string b = modHTTP::ExtractSubStr(login, "boundary=", "\r\n");
    const std::string body =
        Fields(b, {"act", "login", "user", "anna", "pass", "pa ss&1", "login", "Login"}) + "--" +
        b + "--\r\n";
    EXPECT_EQ(login, "POST /login.php HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
                     "Content-Length: " +
                         std::to_string(body.size()) +
                         "\r\nContent-Type: multipart/form-data; boundary=" + b +
                         "\r\nConnection: Close\r\nHost: files.example\r\nPragma: no-cache\r\n"
                         "Referer: http://files.example/\r\n"
                         "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n\r\n" +
                         body);
    EXPECT_EQ(item->StatusText, "S16 (5)");
    // Of two king_uid lines the last one counts, whatever the letter case of the line.
    Reply(Answer("302 Found",
                 "Set-Cookie: PHPSESSID=s1; path=/\r\nSet-Cookie: king_sess_id=ks; path=/\r\n"
                 "Set-Cookie: king_uid=old; path=/\r\nset-cookie: KING_UID=42; path=/\r\n"
                 "Set-Cookie: king_passhash=ph; path=/\r\nSet-Cookie: king_logined=1; path=/\r\n"
                 "Set-Cookie: king_last_click=99; path=/\r\nLocation: /\r\n",
                 ""));
    const std::string kings =
        "king_sess_id=ks; king_uid=42; king_passhash=ph; king_logined=1; king_last_click=99";
    EXPECT_EQ(TakeRequest(), GetRequest("/", "PHPSESSID=s1; " + kings));
    // The login's session stays even when the start page sets another one.
    Reply(Answer("200 OK", "Set-Cookie: PHPSESSID=x\r\n", StartPage("http://up.example/u.cgi")));
    for (const std::string* answer : {&FileAnswer, &RedirectAnswer, &LinksAnswer}) {
        EXPECT_NE(TakeRequest().find("\r\nCookie: PHPSESSID=s1; " + kings + "\r\n"),
                  std::string::npos);
        Reply(*answer);
    }
    ExpectEnded("COMPLETE S13");
    // Without premium no login and no session at first, but the last login's cookies go along.
    settings.SetPremiumUse(false);
    upload->StartUpload();
    EXPECT_EQ(TakeRequest(), GetRequest("/", ""));
    Reply(PageAnswer);
    EXPECT_NE(TakeRequest().find("Cookie: PHPSESSID=abc123; " + kings), std::string::npos);
}

const std::string Session = "Set-Cookie: PHPSESSID=s1; path=/\r\n";

TEST_F(Engine, EachAnswerLeadsToTheNextRequestOrTheEnd) {
    const std::string form = "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"/x\">";
    const std::string links = "<A id=downloadhref href=\"http://d/1\">x</A>"
                              "<A id=filedelhref href=\"http://d/del/1\">y</A>";
    const std::string script = "<script>location.href='http://files.example/f';</script>";
    const auto ok = [](const std::string& headers, const std::string& body = "") {
        return Answer("200 OK", headers, body);
    };
    // The peer closed before the announced length arrived.
    const auto cutShort = [](const std::string& answer) {
        return answer.substr(0, answer.size() - 3);
    };
    struct Row {
        int32_t index;      // the request whose answer this is
        std::string answer; // the whole answer
        // Host and request line of the next request, or the end: state|download|delete link.
        std::string outcome;
        std::string passhash = ""; // login answers only
    };
    const Row rows[] = {
        // Login: the session from the first Set-Cookie line, a passhash up to the next ";".
        {1, ok(Session + "Set-Cookie: king_passhash=ph;\r\n"), "files.example GET / HTTP/1.1",
         "ph"},
        {1, ok(Session + "Set-Cookie: king_passhash=ph\r\nSet-Cookie: king_logined=1; x\r\n"),
         "files.example GET / HTTP/1.1", "ph\r\nSet-Cookie: king_logined=1"},
        {1, ok(Session + "Set-Cookie: king_passhash=ph\r\n"), "ERROR||"},
        {1, ok(Session), "ERROR||"},
        {1, ok("Set-Cookie: a=k\r\n" + Session + "Set-Cookie: king_passhash=ph;\r\n"), "ERROR||",
         "ph"},
        // Step 1: status 200, the session in the first Set-Cookie line, the form's action
        // (resolved against the base); hidden fields may be missing.
        {2, ok(Session, form), "files.example POST /x HTTP/1.1"},
        {2, Answer("500 Internal Server Error", Session, StartPage("/x")), "ERROR||"},
        {2, ok("Set-Cookie: lang=de\r\n" + Session, StartPage("/x")), "ERROR||"},
        {2, ok(Session, "<html>busy</html>"), "ERROR||"},
        {2, cutShort(ok(Session, StartPage("/x"))), "ERROR||"},
        // Step 2: 302 with a location, or 200 with a script redirect; relative targets resolve
        // against the address the file went to. Only the head of a 302 is read.
        {3, Answer("302 Found", "Location: http://files.example/ok?a=1\r\n", ""),
         "files.example GET /ok?a=1 HTTP/1.1"},
        {3, ok("", script), "files.example GET /f HTTP/1.1"},
        {3, Answer("302 Found", "Location: /done.php?id=9\r\n", ""),
         "up.example GET /done.php?id=9 HTTP/1.1"},
        {3, "HTTP/1.1 302 Found\r\nLocation: /ok\r\nContent-Length: 99\r\n\r\nMoved",
         "up.example GET /ok HTTP/1.1"},
        {3, Answer("303 See Other", "Location: http://files.example/ok\r\n", ""), "ERROR||"},
        {3, ok("", "<html>uploaded</html>"), "ERROR||"},
        {3, Answer("302 Found", "", ""), "ERROR||"},
        {3, cutShort(ok("", script)), "ERROR||"},
        // Step 3 must answer 200.
        {4, Answer("404 Not Found", "", "gone"), "ERROR||"},
        // Step 4: the download link alone decides; the status code is not looked at.
        {5, Answer("500 Oops", "", links), "COMPLETE|http://d/1|http://d/del/1"},
        {5, Answer("500 Oops", "", links.substr(0, 42)), "COMPLETE|http://d/1|"},
        {5, ok("", links.substr(42)), "ERROR||http://d/del/1"},
        {5, ok("", "<html>expired</html>"), "ERROR||"},
        {5, cutShort(ok("", links)), "ERROR||"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.index) + ": " + r.answer);
        settings.SetPremiumUse(r.index == clsUpload::RequestLogin);
        MakeEngine();
        AddRow("report.txt", "abc");
        RunTo(r.index);
        TakeRequest();
        const int32_t connects = Net().ConnectCount();
        Reply(r.answer);
        EXPECT_EQ(upload->king_passhash(), r.passhash);
        if (upload->Active()) {
            const std::string request = TakeRequest();
            EXPECT_EQ(Net().Host() + " " + request.substr(0, request.find("\r\n")), r.outcome);
            continue;
        }
        EXPECT_EQ(item->UploadState + "|" + item->DownloadUrl + "|" + upload->LastDeleteUrl(),
                  r.outcome);
        const bool complete = item->IsComplete();
        ExpectEnded(complete ? "COMPLETE S13" : "ERROR S14");
        EXPECT_EQ(Net().ConnectCount(), connects);
        // A failed row says why (the window's tooltip, vostrand-upload's stderr line).
        EXPECT_EQ(item->ErrorText.empty(), complete) << item->ErrorText;
        EXPECT_EQ(settings.StatisticCount() * 10 + settings.StatisticSize(), complete ? 13 : 0);
        EXPECT_NE(ReadAll(settings.LogFilePath())
                      .find("Download-Link: " + item->DownloadUrl +
                            "\r\nLösch-Link: " + upload->LastDeleteUrl() + "\r\n"),
                  std::string::npos);
    }
}

// However the upload ends, it ends once; the owner may release the object in Ready, and
// otherwise the object uploads anew.
TEST_F(Engine, EveryWayToEndLeavesTheObjectReusableOrReleasable) {
    const std::string chunk(1 << 20, 'x');
    const auto feedEndlessly = [&](const std::string& head) {
        TakeRequest();
        Net().Feed("HTTP/1.1 200 OK\r\n" + head);
        for (int64_t fed = 0; fed <= modUpload::MaxAnswerLength && upload && upload->Active();
             fed += 1 << 20)
            Net().Feed(chunk);
    };
    struct Way {
        const char* name;
        int32_t at; // the request pending when the way starts
        std::function<void()> go;
        std::string ending; // state and status
        int32_t connects;
    } ways[] = {
        {"cancel during the file", clsUpload::RequestFile,
         [&] {
             Net().Accept();
             Net().Drain(2000);
             upload->CancelUpload();
         },
         "IDLE S15", 2},
        {"cancel after a status line that passes the rule", clsUpload::RequestRedirect,
         [&] {
             TakeRequest();
             Net().Feed("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
             upload->CancelUpload();
         },
         "IDLE S19 (-2)", 3},
        {"refused", clsUpload::RequestUploadPage, [&] { Net().Fail(10061, "Connection refused"); },
         "ERROR S14: Winsock Fehler 10061: Connection refused", 1},
        // A file removed since it was added is not uploaded empty.
        {"file gone", clsUpload::RequestUploadPage,
         [&] {
             TakeRequest();
             std::remove(path.c_str());
             Reply(PageAnswer);
         },
         "ERROR S14", 1},
        // Activity keeps the limit away however long the whole transfer takes.
        {"stalled", clsUpload::RequestFile,
         [&] {
             Net().Accept();
             for (int i = 0; i < 3; ++i) {
                 clock.Advance(59);
                 Net().Drain(1000);
                 EXPECT_FALSE(upload->CheckStall(60));
             }
             clock.Advance(59);
             EXPECT_FALSE(upload->CheckStall());
             clock.Advance(1);
             EXPECT_TRUE(upload->CheckStall()); // 60 seconds unless the owner says otherwise
         },
         "ERROR S14", 2},
        // Without length and end the page ends the upload itself; one endless chunk is handed
        // on only whole, so the owner's next tick gives it up.
        {"endless page", clsUpload::RequestUploadPage,
         [&] { feedEndlessly(Session + "\r\n" + StartPage("http://u/x")); }, "ERROR S14", 1},
        {"endless chunk", clsUpload::RequestUploadPage,
         [&] {
             feedEndlessly("Transfer-Encoding: chunked\r\n\r\n7fffffff\r\n");
             EXPECT_TRUE(upload->CheckStall());
         },
         "ERROR S14", 1},
    };
    for (const Way& way : ways) {
        for (const bool release : {true, false}) {
            SCOPED_TRACE(std::string(way.name) + (release ? ", released in Ready" : ""));
            MakeEngine();
            AddRow("report.txt", std::string(50000, 'x'));
            RunTo(way.at);
            int readies = 0;
            if (release)
                upload->Ready = [&](const std::string&) {
                    ++readies;
                    upload.reset();
                };
            way.go();
            if (release) {
                EXPECT_EQ(readies, 1);
                EXPECT_EQ(upload, nullptr);
                continue;
            }
            ExpectEnded(way.ending);
            EXPECT_EQ(upload->Canceled(), item->IsIdle());
            EXPECT_EQ(Net().ConnectCount(), way.connects);
            EXPECT_EQ(settings.StatisticCount(), 0);
            EXPECT_NE(ReadAll(settings.LogFilePath())
                          .find("Größe: 50.000 Byte\r\nDownload-Link: \r\nLösch-Link: \r\n"),
                      std::string::npos);
            upload->UpdateStatus(); // late ticks leave the ended row alone
            clock.Advance(100);
            EXPECT_FALSE(upload->CheckStall(60));
            EXPECT_EQ(item->ProgressText + item->SentText + std::to_string(readyKeys.size()),
                      "--1");
            AddRow("report.txt", "a");
            RunTo(6);
            EXPECT_EQ(item->UploadState, "COMPLETE");
        }
    }
}

// The progress columns of the file transfer, from what the client has sent of a sparse file.
TEST_F(Engine, ProgressCountsFileBytesBeyond4GiBAndRoundsToWholePercent) {
    struct Row {
        int64_t size, fileBytes;
        int seconds;
        const char *progress, *sentAndTimes, *speed;
    } rows[] = {
        // (head + framing + 500 000) / 1024 / 2 KB/s is a little over 244,38.
        {1000000, 500000, 2, "50%", "489 KB,00:00:02,00:00:02", "244,"},
        // 96 MiB of 5 GiB is 1.875 %; about 24 MB/s, so the rest takes about 209 s.
        {5LL << 30, 96 << 20, 4, "2%", "98.304 KB,00:00:04,00:03:29", "24.576,"},
        // 12.5 % rounds up; no whole second yet, so no speed.
        {1000, 125, 0, "13%", "1 KB,00:00:00,00:00:00", "0,00 KB/s"},
        // Head and framing alone are no progress, nor is an empty file.
        {5000, -10, 3, "-", "-,-,-", "-"},
        {0, 0, 3, "-", "-,-,-", "-"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.size);
        MakeEngine();
        path = WriteFile(dir, "report.pdf", "");
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(r.size));
        upload->m_Item = item = MakeUploadItem(path, r.size, settings, texts, format);
        upload->StartUpload();
        TakeRequest(); // step 1 is no progress either
        clock.Advance(5);
        upload->UpdateStatus();
        EXPECT_EQ(item->ProgressText + item->SentText + item->SpeedText, "---");
        Reply(PageAnswer);
        Net().ClearRecord();
        Net().Accept();
        const std::string head = Net().Sends().at(0);
        const int64_t overhead =
            static_cast<int64_t>(head.size()) - r.size +
            modHTTP::NumericValue(modHTTP::HeaderValue(head, "Content-Length:", "0"));
        for (int64_t taken = 0, step = 1; taken < overhead + r.fileBytes && step > 0; taken += step)
            step = Net().Drain(overhead + r.fileBytes - taken);
        clock.Advance(r.seconds);
        upload->UpdateStatus();
        EXPECT_EQ(item->ProgressText + "," + item->SentText + "," + item->ElapsedText + "," +
                      item->RemainingText,
                  r.progress + ("," + std::string(r.sentAndTimes)));
        EXPECT_EQ(item->SpeedText.rfind(r.speed, 0), 0u) << item->SpeedText;
        EXPECT_EQ(tips.empty() ? "-" : tips.back(),
                  r.fileBytes > 0 ? "report.pdf (" + std::string(r.progress) + ")" : "-");
        EXPECT_EQ(item->Percent < 0 ? "-" : std::to_string(item->Percent) + "%", r.progress);
        EXPECT_EQ(item->BytesSent, std::max<int64_t>(r.fileBytes, 0));
        // Bytes per second of the whole request, head and framing included.
        EXPECT_DOUBLE_EQ(item->Speed, r.fileBytes > 0 && r.seconds
                                          ? double(overhead + r.fileBytes) / r.seconds
                                          : 0);
        if (r.size > 1000000)
            continue;
        Net().DrainAll(); // everything sent: state 5 refreshes the columns at once
        EXPECT_EQ(item->StatusText + " " + item->ProgressText, r.size ? "S6 100%" : "S6 -");
    }
}

} // namespace
