#include "http/modHTTP.h"
#include "settings/modConfig.h"
#include "support/FakeSocket.h"
#include "support/Fixed.h"
#include "support/Support.h"
#include "upload/clsInfo.h"
#include "upload/clsUpload.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstdio>
#include <filesystem>
#include <functional>

#include <sys/stat.h>

using namespace testsupport;

namespace {

std::string Answer(const std::string& status, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::vector<std::string> Hidden = {"sessionid",   "SID9",      "UploadSession",
                                         "US1",         "AccessKey", "AK1",
                                         "maxfilesize", "200",       "phpuploadscript",
                                         "upload.php",  "returnurl", "http://files.example/done"};

std::string StartPage(const std::string& action) {
    std::string page = "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" + action +
                       "\" method=post enctype=\"multipart/form-data\">\n";
    for (size_t i = 0; i < Hidden.size(); i += 2)
        page +=
            "<input type=\"hidden\" name=\"" + Hidden[i] + "\" value=\"" + Hidden[i + 1] + "\">\n";
    return page + "</FORM>";
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
const std::string Session = "Set-Cookie: PHPSESSID=s1; path=/\r\n";
const std::string Cookies0 = "PHPSESSID=abc123; king_sess_id=; king_uid=; king_passhash=; "
                             "king_logined=; king_last_click=";
const std::string Agent = "User-Agent: Vostrand-Uploader V1.0\r\n";

std::string Request(const std::string& host, const std::string& line, const std::string& cookie,
                    const std::string& type = "", const std::string& body = "",
                    const std::string& agent = Agent) {
    return line + " HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n" +
           (type.empty() ? ""
                         : "Content-Length: " + std::to_string(body.size()) +
                               "\r\nContent-Type: " + type + "\r\n") +
           "Connection: Close\r\n" + (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") +
           "Host: " + host + "\r\nPragma: no-cache\r\n" + agent + "\r\n" + body;
}

std::string Fields(const std::string& b, const std::vector<std::string>& nameValues) {
    std::string body;
    for (size_t i = 0; i + 1 < nameValues.size(); i += 2)
        body += "--" + b + "\r\nContent-Disposition: form-data; name=\"" + nameValues[i] +
                "\"\r\n\r\n" + nameValues[i + 1] + "\r\n";
    return body;
}

class Upload : public ::testing::Test {
protected:
    Upload() { MakeEngine(); }

    FakeSocket& Net() { return *made.at(0); }
    std::string TakeRequest() {
        Net().ClearRecord();
        Net().Accept();
        Net().DrainAll();
        return Net().Sent();
    }
    void Reply(const std::string& answer) { Net().Feed(answer), Net().PeerClose(); }

    void MakeEngine() {
        made.clear();
        settings = ConfigSettings{};
        settings.SetLogFilePath(dir.filePath("upload.log").toStdString());
        clock.Set(LocalTime(2026, 12, 5, 14, 3, 9));
        std::remove(settings.LogFilePath().c_str());
        readies = tip = "";
        upload =
            std::make_unique<clsUpload>(settings, texts, format, FakeSocketFactory(&made), clock);
        upload->SetBaseUrl("http://files.example/");
        upload->Ready = [this](const std::string& key) {
            readies += key + (upload->Active() ? " active|" : "|") + Ending() + ";";
            upload->StartUpload(); // the owner's next row must not start from here
        };
        upload->TrayTip = [this](const std::string& text) { tip = text; };
        upload->ItemChanged = [this](const std::string&) {
            if (item && item->StatusText != lastStatus)
                statuses += (lastStatus = item->StatusText) + ",";
        };
    }

    // A row for report.txt; a size beyond the content makes the file sparse.
    void AddRow(const std::string& content, int64_t size = -1) {
        path = WriteFile(dir, "report.txt", content);
        if (size >= 0)
            std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
        upload->m_Item = item = MakeUploadItem(
            path, size >= 0 ? size : static_cast<int64_t>(content.size()), settings, texts, format);
    }

    // The usual answers until the request with this index is pending; 6 runs it all.
    void RunTo(int32_t index) {
        upload->StartUpload();
        const std::string* answers[] = {&PageAnswer, &FileAnswer, &RedirectAnswer, &LinksAnswer};
        for (int i = 0; i < 4 && upload && upload->Active() && upload->RequestIndex() < index;
             ++i) {
            const int32_t current = upload->RequestIndex();
            TakeRequest();
            Reply(*answers[current - clsUpload::RequestUploadPage]);
        }
    }

    std::string Ending() const {
        return item->UploadState + "|" + item->StatusText + "|" + item->DownloadUrl + "|" +
               std::to_string(settings.StatisticCount()) + "|" + ReadAll(settings.LogFilePath());
    }

    // Ended once, everything done before Ready and Active() false only after it.
    void ExpectEnded(const std::string& stateAndStatus) {
        EXPECT_EQ(item->UploadState + " " + item->StatusText + "|" + readies + "|" +
                      std::to_string(upload->Active()) + item->ProgressText + item->SentText +
                      item->RemainingText + " " + tip,
                  stateAndStatus + "|" + path + " active|" + Ending() + ";|0--- Vostrand-Uploader");
    }

    void StartInfo() {
        made.clear();
        done.clear();
        info = std::make_unique<clsInfo>(settings, FakeSocketFactory(&made), clock);
        info->SetBaseUrl("http://files.example:8080/svc/");
        info->Complete = [this](bool success) { done += success ? "ok " : "failed "; };
        info->RequestInfo();
    }

    std::vector<FakeSocket*> made;
    ConfigSettings settings;
    FixedClock clock;
    QTemporaryDir dir;
    modLanguage::TextLists texts = GermanTexts();
    NumberFormat format = GermanFormat();
    std::unique_ptr<clsUpload> upload;
    std::shared_ptr<UploadItem> item;
    std::unique_ptr<clsInfo> info;
    std::string path, readies, tip, statuses, lastStatus, done; // done: a word per Complete
};

TEST_F(Upload, AnonymousUploadSendsTheFourRequestsByteForByte) {
    AddRow("Hello, Vostrand!\n");
    item->BinLayerId = "BL-7";
    item->FileDescription = "Quartal & Jahr";
    item->SetPublish(true, texts);
    upload->StartUpload();
    EXPECT_EQ(TakeRequest(), Request("files.example", "GET /", ""));
    Reply(PageAnswer);
    EXPECT_EQ(Net().Host(), "up.example");
    const std::string request = TakeRequest();
    const std::string b = modHTTP::ExtractSubStr(request, "boundary=", "\r\n");
    ASSERT_EQ(b.size(), 37u);
    const std::string body =
        Fields(b, Hidden) + "--" + b +
        "\r\nContent-Disposition: form-data; name=\"uploadfile_0\"; filename=\"report.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\nHello, Vostrand!\n\r\n" +
        Fields(b, {"file_referal[0]", "BL-7", "file_descr[0]", "Quartal & Jahr", "file_password[0]",
                   "", "file_search[0]", "1"}) +
        "--" + b + "--\r\n";
    EXPECT_EQ(request, Request("up.example", "POST /cgi-bin/upload.cgi?sid=1", Cookies0,
                               "multipart/form-data; boundary=" + b, body));
    Reply(FileAnswer);
    EXPECT_EQ(TakeRequest(), Request("files.example", "GET /done.php?id=7", Cookies0));
    Reply(RedirectAnswer);
    EXPECT_EQ(
        TakeRequest(),
        Request("files.example", "POST /emaillinks.php", Cookies0,
                "application/x-www-form-urlencoded",
                "UploadSession=US1&AccessKey=AK1&uploadmode=1&submitnums=1&toemail=&fromemail="));
    Reply(LinksAnswer);
    ExpectEnded("COMPLETE S13");
    EXPECT_EQ(Ending() + std::to_string(settings.StatisticSize()),
              "COMPLETE|S13|http://files.example/d/7/report.txt|1|Datum/Uhrzeit: 05.12.2026 "
              "14:03:09\r\nDatei: report.txt\r\nGröße: 17 Byte\r\nDownload-Link: "
              "http://files.example/d/7/report.txt\r\nLösch-Link: http://files.example/del/7/k"
              "\r\n\r\n17");
    EXPECT_EQ(QFile::permissions(QString::fromStdString(settings.LogFilePath())),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser); // secrets
    EXPECT_EQ(statuses, "S17 (0),S17 (1),S17 (2),S17 (3),S17 (5),S17 (6),S17 (7),S17 (8),"
                        "S1,S2,S3,S4,S5,S6,S7,S8,S9,S19 (0),S19 (1),S19 (2),S19 (3),"
                        "S19 (5),S19 (6),S19 (7),S19 (8),S18 (0),S18 (1),S18 (2),S18 (3),"
                        "S18 (4),S18 (5),S18 (6),S18 (7),S18 (8),S13,");
}

TEST_F(Upload, PremiumLoginCookiesGoOnEveryStep) {
    settings.SetPremiumUse(true);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("pa ss&1");
    AddRow("premium");
    upload->StartUpload();
    const std::string login = TakeRequest();
    const std::string b = modHTTP::ExtractSubStr(login, "boundary=", "\r\n");
    EXPECT_EQ(
        login,
        Request("files.example", "POST /login.php", "", "multipart/form-data; boundary=" + b,
                Fields(b, {"act", "login", "user", "anna", "pass", "pa ss&1", "login", "Login"}) +
                    "--" + b + "--\r\n",
                "Referer: http://files.example/\r\n"
                "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n"));
    EXPECT_EQ(item->StatusText, "S16 (5)");
    // Of two king_uid lines the last one counts, whatever the letter case of the line.
    Reply(Answer(
        "302 Found",
        Session + "Set-Cookie: king_sess_id=ks; path=/\r\n"
                  "Set-Cookie: king_uid=old; path=/\r\nset-cookie: KING_UID=42; path=/\r\n"
                  "Set-Cookie: king_passhash=ph; path=/\r\nSet-Cookie: king_logined=1; path=/\r\n"
                  "Set-Cookie: king_last_click=99; path=/\r\nLocation: /\r\n",
        ""));
    const std::string kings =
        "king_sess_id=ks; king_uid=42; king_passhash=ph; king_logined=1; king_last_click=99";
    EXPECT_EQ(TakeRequest(), Request("files.example", "GET /", "PHPSESSID=s1; " + kings));
    // The login's session stays even when the start page sets another one.
    Reply(Answer("200 OK", "Set-Cookie: PHPSESSID=x\r\n", StartPage("http://up.example/u.cgi")));
    for (const std::string* answer : {&FileAnswer, &RedirectAnswer, &LinksAnswer}) {
        EXPECT_NE(TakeRequest().find("\r\nCookie: PHPSESSID=s1; " + kings + "\r\n"),
                  std::string::npos);
        Reply(*answer);
    }
    ExpectEnded("COMPLETE S13");
}

TEST_F(Upload, EachAnswerLeadsToTheNextRequestOrTheEnd) {
    const std::string form = "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"/x\">";
    const std::string links = "<A id=downloadhref href=\"http://d/1\">x</A>"
                              "<A id=filedelhref href=\"http://d/del/1\">y</A>";
    const std::string script = "<script>location.href='http://files.example/f';</script>";
    const auto ok = [](const std::string& headers, const std::string& body = "") {
        return Answer("200 OK", headers, body);
    };
    const auto found = [](const std::string& location) {
        return Answer("302 Found", "Location: " + location + "\r\n", "");
    };
    const std::string ph = "Set-Cookie: king_passhash=ph;\r\n", next = "files.example GET /";
    const auto cut = [](const std::string& answer) { return answer.substr(0, answer.size() - 3); };
    // The request whose answer this is, the whole answer, then the host and request line of
    // the next request or the end (state|download|delete link); the passhash of a login.
    struct Row {
        int32_t index;
        std::string answer, outcome = "ERROR||", passhash = "";
    };
    // clang-format off
    const Row rows[] = {
        // Login: the session from the first Set-Cookie line, a passhash up to the next ";".
        {1, ok(Session + ph), next, "ph"},
        {1, ok(Session + "Set-Cookie: king_passhash=ph\r\nSet-Cookie: king_logined=1; x\r\n"),
         next, "ph\r\nSet-Cookie: king_logined=1"},
        {1, ok(Session + "Set-Cookie: king_passhash=ph\r\n")},
        {1, ok(Session)},
        {1, ok("Set-Cookie: a=k\r\n" + Session + ph), "ERROR||", "ph"},
        // Step 1: status 200, the session in the first Set-Cookie line, the form's action
        // (resolved against the base); hidden fields may be missing.
        {2, ok(Session, form), "files.example POST /x"},
        {2, Answer("500 Internal Server Error", Session, StartPage("/x"))},
        {2, ok("Set-Cookie: lang=de\r\n" + Session, StartPage("/x"))},
        {2, ok(Session, "<html>busy</html>")},
        {2, cut(ok(Session, StartPage("/x")))},
        // Step 2: 302 with a location, or 200 with a script redirect; relative targets resolve
        // against the address the file went to. Only the head of a 302 is read.
        {3, found("http://files.example/ok?a=1"), "files.example GET /ok?a=1"},
        {3, ok("", script), "files.example GET /f"},
        {3, found("/done.php?id=9"), "up.example GET /done.php?id=9"},
        {3, "HTTP/1.1 302 Found\r\nLocation: /ok\r\nContent-Length: 99\r\n\r\nMoved",
         "up.example GET /ok"},
        {3, Answer("303 See Other", "Location: http://files.example/ok\r\n", "")},
        {3, ok("", "<html>uploaded</html>")},
        {3, Answer("302 Found", "", "")},
        {3, cut(ok("", script))},
        {4, Answer("404 Not Found", "", "gone")}, // step 3 must answer 200
        // Step 4: the download link alone decides; the status code is not looked at.
        {5, Answer("500 Oops", "", links), "COMPLETE|http://d/1|http://d/del/1"},
        {5, Answer("500 Oops", "", links.substr(0, 42)), "COMPLETE|http://d/1|"},
        {5, ok("", links.substr(42)), "ERROR||http://d/del/1"},
        {5, ok("", "<html>expired</html>")},
        {5, cut(ok("", links))},
    };
    // clang-format on
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.index) + ": " + r.answer);
        MakeEngine();
        settings.SetPremiumUse(r.index == clsUpload::RequestLogin);
        AddRow("abc");
        RunTo(r.index);
        TakeRequest();
        const int32_t connects = Net().ConnectCount();
        Reply(r.answer);
        EXPECT_EQ(upload->king_passhash(), r.passhash);
        if (upload->Active()) {
            const std::string request = TakeRequest();
            EXPECT_EQ(Net().Host() + " " + request.substr(0, request.find(" HTTP/1.1\r\n")),
                      r.outcome);
            continue;
        }
        const std::string del = upload->LastDeleteUrl();
        EXPECT_EQ(item->UploadState + "|" + item->DownloadUrl + "|" + del, r.outcome);
        const bool complete = item->IsComplete();
        ExpectEnded(complete ? "COMPLETE S13" : "ERROR S14");
        // No new connection, count and size, a failed row says why, the links are logged.
        const std::string logged = "Download-Link: " + item->DownloadUrl + "\r\nLösch-Link: " + del;
        EXPECT_EQ(std::to_string(Net().ConnectCount() - connects) + " " +
                      std::to_string(settings.StatisticCount() * 10 + settings.StatisticSize()) +
                      (item->ErrorText.empty() ? "" : " why") +
                      std::to_string(Ending().find(logged + "\r\n") < std::string::npos),
                  complete ? "0 131" : "0 0 why1");
    }
}

// However it ends, it ends once; the owner may release the object in Ready, or upload anew.
TEST_F(Upload, EveryWayToEndLeavesTheObjectReusableOrReleasable) {
    const auto feedEndlessly = [&](const std::string& head) {
        TakeRequest();
        Net().Feed("HTTP/1.1 200 OK\r\n" + head);
        for (int64_t fed = 0; fed <= modUpload::MaxAnswerLength && upload && upload->Active();
             fed += 1 << 20)
            Net().Feed(std::string(1 << 20, 'x'));
    };
    struct Way {
        const char* name;
        int32_t at;                   // the request pending when the way starts
        std::string ending, connects; // state and status; connections, canceled or not
        std::function<void()> go;
    };
    // clang-format off
    const Way ways[] = {
        {"cancel in the file", clsUpload::RequestFile, "IDLE S15", "2 canceled",
         [&] { Net().Accept(); Net().Drain(2000); upload->CancelUpload(); }},
        {"refused", clsUpload::RequestUploadPage,
         "ERROR S14: Winsock Fehler 10061: Connection refused", "1",
         [&] { Net().Fail(10061, "Connection refused"); }},
        // A file removed since it was added is not uploaded empty.
        {"file gone", clsUpload::RequestUploadPage, "ERROR S14", "1",
         [&] { TakeRequest(); std::remove(path.c_str()); Reply(PageAnswer); }},
        // Activity keeps the limit away; 60 seconds unless the owner says otherwise.
        {"stalled", clsUpload::RequestFile, "ERROR S14", "2", [&] {
             Net().Accept(); clock.Advance(59); Net().Drain(1000); clock.Advance(59);
             EXPECT_FALSE(upload->CheckStall()); clock.Advance(1);
             EXPECT_TRUE(upload->CheckStall()); }},
        // An endless page ends the upload itself; an endless chunk at the owner's next tick.
        {"endless page", clsUpload::RequestUploadPage, "ERROR S14", "1",
         [&] { feedEndlessly(Session + "\r\n" + StartPage("http://u/x")); }},
        {"endless chunk", clsUpload::RequestUploadPage, "ERROR S14", "1", [&] {
             feedEndlessly("Transfer-Encoding: chunked\r\n\r\n7fffffff\r\n");
             EXPECT_TRUE(upload->CheckStall()); }},
    };
    // clang-format on
    for (const Way& way : ways) {
        for (const bool release : {true, false}) {
            SCOPED_TRACE(std::string(way.name) + (release ? ", released in Ready" : ""));
            MakeEngine();
            AddRow(std::string(50000, 'x'));
            RunTo(way.at);
            if (release)
                upload->Ready = [&](const std::string&) { readies += "released;", upload.reset(); };
            way.go();
            if (release) {
                EXPECT_EQ(readies + std::to_string(upload == nullptr), "released;1");
                continue;
            }
            upload->UpdateStatus(); // late ticks leave the ended row alone
            clock.Advance(100);
            EXPECT_EQ(std::to_string(upload->CheckStall(60)) + " " +
                          std::to_string(Net().ConnectCount()) +
                          (upload->Canceled() ? " canceled" : ""),
                      "0 " + way.connects);
            ExpectEnded(way.ending);
            AddRow("a");
            RunTo(6); // the next entry is appended to the failure's
            EXPECT_EQ(item->UploadState, "COMPLETE");
            EXPECT_NE(Ending().find("50.000 Byte\r\nDownload-Link: \r\nLösch-Link: \r\n\r\nDatum"),
                      std::string::npos);
        }
    }
}

TEST_F(Upload, ProgressCountsFileBytesBeyond4GiBAndRoundsToWholePercent) {
    // Size, file bytes sent, seconds, progress|sent|elapsed|remaining|speed|tip|Percent|BytesSent
    const std::tuple<int64_t, int64_t, int, const char*> rows[] = {
        // Speed counts the whole request: (head + framing + 500 000) / 1024 / 2 KB/s.
        {1000000, 500000, 2, "50%|489 KB|00:00:02|00:00:02|244,92 KB/s|report.txt (50%)|50|500000"},
        // 96 MiB of 5 GiB is 1.875 %; about 24 MB/s, so the rest takes about 209 s.
        {5LL << 30, 96 << 20, 4,
         "2%|98.304 KB|00:00:04|00:03:29|24.576,39 KB/s|report.txt (2%)|2|100663296"},
        // 12.5 % rounds up; no whole second yet, so no speed.
        {1000, 125, 0, "13%|1 KB|00:00:00|00:00:00|0,00 KB/s|report.txt (13%)|13|125"},
        // Head and framing alone are no progress, nor is an empty file.
        {5000, -10, 3, "-|-|-|-|-||-1|0"},
        {0, 0, 3, "-|-|-|-|-||-1|0"},
    };
    for (const auto& [size, fileBytes, seconds, columns] : rows) {
        SCOPED_TRACE(size);
        MakeEngine();
        AddRow("", size);
        RunTo(clsUpload::RequestFile);
        Net().ClearRecord();
        Net().Accept();
        const std::string head = Net().Sends().at(0);
        const int64_t overhead =
            static_cast<int64_t>(head.size()) - size +
            modHTTP::NumericValue(modHTTP::HeaderValue(head, "Content-Length:", "0"));
        for (int64_t taken = 0, step = 1; taken < overhead + fileBytes && step > 0; taken += step)
            step = Net().Drain(overhead + fileBytes - taken);
        clock.Advance(seconds);
        upload->UpdateStatus();
        EXPECT_EQ(item->ProgressText + "|" + item->SentText + "|" + item->ElapsedText + "|" +
                      item->RemainingText + "|" + item->SpeedText + "|" + tip + "|" +
                      std::to_string(item->Percent) + "|" + std::to_string(item->BytesSent),
                  columns);
        if (size > 1000000)
            continue;
        Net().DrainAll(); // everything sent: state 5 refreshes the columns at once
        EXPECT_EQ(item->StatusText + " " + item->ProgressText, size ? "S6 100%" : "S6 -");
    }
}

TEST_F(Upload, InfoQueryEachAnswerGivesItsValues) {
    // A body after "200 OK", or a whole answer starting with "HTTP/"; Complete's word, the
    // size limit, the version and the news.
    const std::pair<std::string, std::string> rows[] = {
        {"size=100\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten",
         "ok 104857600 1.00.0010|Wartung am Montag\r\nBitte neu starten"},
        {"SIZE = 2.5", "ok 2621440 |"},
        {"size=1\rversion=2\rnews=x", "ok 1048576 2|x"},
        {"size=1\nversion=2\nnews=x\n", "ok 1048576 2|x"},
        {"size=abc\nversion=3", "failed 0 3| why"},
        {"size=250MB", "ok 262144000 |"},
        {"size=-5", "failed 0 | why"},
        {"<html>\nfoo=bar\n=9\nnews= a=b \nsize=1", "ok 1048576 |a=b"},
        {"version=1\nversion=2\nsize=1\nsize=2", "ok 2097152 2|"},
        {"version=2\nnews=hallo", "failed 0 2|hallo why"},
        {"HTTP/1.1 404 Not Found\r\n\r\nsize=100", "failed 0 | why"},
        // Cut off by an orderly close: "size=1" of "size=100" must not pass for a value.
        {"HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nsize=1", "failed 0 | why"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nsize=3\r\n", "failed 0 | why"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nsize=3\r\nv\r\n0\r\n\r\n",
         "ok 3145728 |"},
    };
    for (const auto& [answer, values] : rows) {
        SCOPED_TRACE(answer);
        StartInfo();
        EXPECT_EQ(TakeRequest().substr(0, 34), "GET /svc/toolconfig.php HTTP/1.1\r\n");
        Reply(answer.rfind("HTTP/", 0) == 0 ? answer : "HTTP/1.1 200 OK\r\n\r\n" + answer);
        EXPECT_EQ(done + std::to_string(info->Values().MaxFileSize) + " " + info->Values().Version +
                      "|" + info->Values().News + (info->ErrorText().empty() ? "" : " why"),
                  values);
    }
}

// "size=1" of a stalled or endless "size=100" is not read; the owner may release in Complete.
TEST_F(Upload, InfoQueryAStalledOrEndlessAnswerIsGivenUpUnread) {
    for (const bool endless : {false, true}) {
        StartInfo();
        TakeRequest();
        Net().Feed("HTTP/1.1 200 OK\r\n\r\nsize=1\n");
        clock.Advance(59);
        EXPECT_FALSE(info->CheckStall());
        clock.Advance(endless ? 0 : 1);
        for (int64_t fed = 0; endless && fed <= modUpload::MaxAnswerLength && info->Pending();
             fed += 1 << 20)
            Net().Feed(std::string(1 << 20, '\n'));
        EXPECT_EQ(endless || info->CheckStall(), true);
        EXPECT_EQ(done + std::to_string(info->Values().MaxFileSize), "failed 0");
        clock.Advance(120);
        EXPECT_FALSE(info->CheckStall());
    }
    StartInfo(); // the connection never opens
    info->Complete = [&](bool) { info.reset(); };
    clock.Advance(5);
    EXPECT_FALSE(info->CheckStall(6));
    clock.Advance(1);
    EXPECT_TRUE(info->CheckStall(6));
    EXPECT_EQ(info, nullptr);
}

TEST(BaseUrl, EnvironmentThenConfigurationThenDefault) {
    QTemporaryDir dir;
    const std::string config = WriteFile(dir, "config.ini", "[service]\r\nBASE_URL=\"u:1/v\"\r\n");
    const std::string empty = WriteFile(dir, "empty.ini", "[Service]\r\nbase_url=\r\n");
    EXPECT_EQ(modUpload::ResolveBaseUrl("http://env", config) + " " +
                  modUpload::ResolveBaseUrl("", config) + " " +
                  modUpload::ResolveBaseUrl(nullptr, empty),
              "http://env/ http://u:1/v/ http://127.0.0.1:8931/");
}

// No folder is made; a folder, a full disk and an unread pipe (without blocking) fail.
TEST(UploadLog, FailuresReportFalseWithoutBlocking) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("pipe").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.filePath("no/upload.log").toStdString(),
                                    dir.path().toStdString(), std::string("/dev/full"), fifo})
        EXPECT_FALSE(modUpload::WriteLogEntry(path, "/a/b.pdf", 1, "x", "", GermanTexts(),
                                              GermanFormat(), Clock::System()))
            << path;
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));
}

} // namespace
