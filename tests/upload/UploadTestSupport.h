#pragma once
// Shared pieces of the upload engine's unit tests: a settable clock, German texts and numbers,
// and clsUpload on the scripted socket with the service's usual answers.
#include "platform/Clock.h"
#include "platform/Format.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "support/FakeSocket.h"
#include "support/TempDir.h"
#include "upload/clsUpload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace uploadtest {

class FixedClock final : public Clock {
public:
    TimePoint Now() const override { return m_Now; }
    void Set(TimePoint now) { m_Now = now; }
    void Advance(int seconds) { m_Now += std::chrono::seconds(seconds); }

private:
    TimePoint m_Now = std::chrono::system_clock::from_time_t(1'700'000'000);
};

// The instant that reads as the given local date and time in this process's time zone.
inline Clock::TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

inline NumberFormat GermanFormat() {
    NumberFormat format;
    format.group = ".";
    format.decimal = ",";
    return format;
}

// Status(n) reads "S<n>" so that a test can tell every number apart; German log labels.
inline modLanguage::TextLists GermanTexts() {
    modLanguage::TextLists texts;
    std::vector<std::string> status;
    for (int n = 1; n <= 21; ++n) {
        status.push_back("S" + std::to_string(n));
    }
    texts.SetStatusTexts(status);
    texts.SetLogFileTexts({"Datum/Uhrzeit", "Datei", "Größe", "Download-Link", "Lösch-Link"});
    return texts;
}

inline std::string Answer(const std::string& statusLine, const std::string& headers,
                          const std::string& body) {
    return "HTTP/1.1 " + statusLine + "\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string StartPage(const std::string& action) {
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

// The usual answers to the login and steps 1 to 4.
inline const std::string LoginAnswer =
    Answer("200 OK",
           "Set-Cookie: PHPSESSID=s1\r\nSet-Cookie: king_uid=42; path=/\r\n"
           "Set-Cookie: king_passhash=ph; path=/\r\n",
           "");
inline const std::string PageAnswer =
    Answer("200 OK", "Set-Cookie: PHPSESSID=abc123; path=/\r\nSet-Cookie: other=1\r\n",
           StartPage("http://up.example/cgi-bin/upload.cgi?sid=1"));
inline const std::string FileAnswer =
    Answer("302 Found", "Location: http://files.example/done.php?id=7\r\n", "");
inline const std::string RedirectAnswer = Answer("200 OK", "", "<html>thanks</html>");
inline const std::string LinksAnswer =
    Answer("200 OK", "",
           "<p><A id=downloadhref href=\"http://files.example/d/7/report.txt\">download</A>"
           "<A id=filedelhref href=\"http://files.example/del/7/k\">delete</A></p>");

// The network of one object under test: the sockets its factory made, the first one played.
class ScriptedNet : public ::testing::Test {
protected:
    testsupport::FakeSocket& Net() { return *made.at(0); }

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

    std::vector<testsupport::FakeSocket*> made;
};

// clsUpload against http://files.example/ on scripted sockets, with a German log.
class EngineTest : public ScriptedNet {
protected:
    EngineTest() {
        settings.SetLogFilePath(dir.FilePath("upload.log"));
        clock.Set(LocalTime(2026, 12, 5, 14, 3, 9));
        upload = std::make_unique<clsUpload>(settings, texts, format,
                                             testsupport::FakeSocketFactory(&made), clock);
        upload->SetBaseUrl("http://files.example/");
        upload->Ready = [this](const std::string& key) {
            readyKeys.push_back(key);
            activeInReady = upload->Active();
            seenInReady = Ending();
            // The owner may try to start the next row from here; it must not start.
            upload->StartUpload();
        };
        upload->TrayTip = [this](const std::string& text) { tips.push_back(text); };
        upload->ItemChanged = [this](const std::string&) {
            if (item && (statuses.empty() || statuses.back() != item->StatusText)) {
                statuses.push_back(item->StatusText);
            }
        };
    }

    void AddRow(const std::string& name, const std::string& content) {
        path = dir.WriteFile(name, content);
        item = MakeUploadItem(path, static_cast<int64_t>(content.size()), settings, texts, format);
        upload->m_Item = item;
    }

    // Starts the upload and gives the usual answers until the request with this index has been
    // made (its connection still pending); 6 runs the whole upload.
    void RunTo(int32_t index) {
        upload->StartUpload();
        const std::string* answers[] = {&LoginAnswer, &PageAnswer, &FileAnswer, &RedirectAnswer,
                                        &LinksAnswer};
        while (upload && upload->Active() && upload->RequestIndex() < index) {
            const int32_t current = upload->RequestIndex();
            TakeRequest();
            Reply(*answers[current - 1]);
        }
        ASSERT_TRUE(index > clsUpload::RequestLinks || upload->RequestIndex() == index);
    }

    // What the completion leaves behind: the row, the statistics and the log.
    std::string Ending() const {
        return item ? item->UploadState + "|" + item->StatusText + "|" + item->DownloadUrl + "|" +
                          std::to_string(settings.StatisticCount()) + "|" +
                          testsupport::ReadFile(settings.LogFilePath())
                    : "";
    }

    // The upload has ended exactly once, with everything done before Ready and m_Active false
    // only after it.
    void ExpectEnded(const char* state, const std::string& status) {
        EXPECT_EQ(item->UploadState, state);
        EXPECT_EQ(item->StatusText, status);
        EXPECT_EQ(readyKeys, std::vector<std::string>{path});
        EXPECT_TRUE(activeInReady);
        EXPECT_EQ(seenInReady, Ending());
        EXPECT_FALSE(upload->Active());
        EXPECT_EQ(item->ProgressText + item->SentText + item->RemainingText, "---");
        ASSERT_FALSE(tips.empty());
        EXPECT_EQ(tips.back(), "Vostrand-Uploader");
    }

    testsupport::TempDir dir;
    ConfigSettings settings;
    modLanguage::TextLists texts = GermanTexts();
    NumberFormat format = GermanFormat();
    FixedClock clock;
    std::unique_ptr<clsUpload> upload;
    std::shared_ptr<UploadItem> item;
    std::string path;
    std::vector<std::string> readyKeys;
    bool activeInReady = false;
    std::string seenInReady;
    std::vector<std::string> tips;
    std::vector<std::string> statuses;
};

} // namespace uploadtest
