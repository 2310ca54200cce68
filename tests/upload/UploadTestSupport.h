#pragma once
// clsUpload and clsInfo on the scripted socket, with the service's usual answers.
#include "settings/modConfig.h"
#include "support/FakeSocket.h"
#include "support/Fixed.h"
#include "support/Support.h"
#include "upload/clsUpload.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace uploadtest {
using namespace testsupport;

inline std::string Answer(const std::string& statusLine, const std::string& headers,
                          const std::string& body) {
    return "HTTP/1.1 " + statusLine + "\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string StartPage(const std::string& action) {
    std::string page = "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" + action +
                       "\" method=post enctype=\"multipart/form-data\">\n";
    for (const char* field :
         {"sessionid\" value=\"SID9", "UploadSession\" value=\"US1", "AccessKey\" value=\"AK1",
          "maxfilesize\" value=\"200", "phpuploadscript\" value=\"upload.php",
          "returnurl\" value=\"http://files.example/done"})
        page += std::string("<input type=\"hidden\" name=\"") + field + "\">\n";
    return page + "</FORM>";
}

// The usual answers to steps 1 to 4.
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
    FakeSocket& Net() { return *made.at(0); }
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
    std::vector<FakeSocket*> made;
    ConfigSettings settings;
    FixedClock clock;
};

// clsUpload against http://files.example/, with a German log.
class EngineTest : public ScriptedNet {
protected:
    EngineTest() {
        settings.SetLogFilePath(dir.filePath("upload.log").toStdString());
        clock.Set(LocalTime(2026, 12, 5, 14, 3, 9));
        MakeEngine();
    }

    void MakeEngine() {
        made.clear();
        settings.SetStatisticCount(0);
        settings.SetStatisticSize(0);
        std::remove(settings.LogFilePath().c_str());
        readyKeys.clear();
        tips.clear();
        upload =
            std::make_unique<clsUpload>(settings, texts, format, FakeSocketFactory(&made), clock);
        upload->SetBaseUrl("http://files.example/");
        upload->Ready = [this](const std::string& key) {
            readyKeys.push_back(key);
            activeInReady = upload->Active();
            seenInReady = Ending();
            upload->StartUpload(); // the owner's next row must not start from here
        };
        upload->TrayTip = [this](const std::string& text) { tips.push_back(text); };
        upload->ItemChanged = [this](const std::string&) {
            if (item && item->StatusText != lastStatus)
                statuses += (lastStatus = item->StatusText) + ",";
        };
    }

    void AddRow(const std::string& name, const std::string& content) {
        path = WriteFile(dir, name, content);
        item = MakeUploadItem(path, static_cast<int64_t>(content.size()), settings, texts, format);
        upload->m_Item = item;
    }

    // Starts the upload and gives the usual answers until the request with this index is
    // pending; 6 runs the whole upload.
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

    // What the completion leaves behind: the row, the statistics and the log.
    std::string Ending() const {
        return item->UploadState + "|" + item->StatusText + "|" + item->DownloadUrl + "|" +
               std::to_string(settings.StatisticCount()) + "|" + ReadAll(settings.LogFilePath());
    }

    // Ended exactly once, everything done before Ready and Active() false only after it.
    void ExpectEnded(const std::string& stateAndStatus) {
        EXPECT_EQ(item->UploadState + " " + item->StatusText, stateAndStatus);
        EXPECT_EQ(readyKeys, std::vector<std::string>{path});
        EXPECT_TRUE(activeInReady);
        EXPECT_EQ(seenInReady, Ending());
        EXPECT_FALSE(upload->Active());
        EXPECT_EQ(item->ProgressText + item->SentText + item->RemainingText, "---");
        EXPECT_EQ(tips.empty() ? "" : tips.back(), "Vostrand-Uploader");
    }

    QTemporaryDir dir;
    modLanguage::TextLists texts = GermanTexts();
    NumberFormat format = GermanFormat();
    std::unique_ptr<clsUpload> upload;
    std::shared_ptr<UploadItem> item;
    std::string path, seenInReady;
    std::vector<std::string> readyKeys, tips;
    std::string statuses, lastStatus; // the status texts the row went through
    bool activeInReady = false;
};

} // namespace uploadtest
