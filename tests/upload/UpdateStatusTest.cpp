// The progress columns and tray tip of the file transfer step.
#include "UploadTestSupport.h"
#include "http/modHTTP.h"
#include "settings/modConfig.h"
#include "support/FakeSocket.h"
#include "support/TempDir.h"
#include "upload/clsUpload.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace uploadtest;
using testsupport::FakeSocket;
using testsupport::TempDir;

namespace {

const std::string PageAnswer =
    "HTTP/1.1 200 OK\r\nSet-Cookie: PHPSESSID=abc\r\n\r\n"
    "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"http://up.example/u.cgi\">";

class UpdateStatus : public ::testing::Test {
protected:
    UpdateStatus() {
        modUpload::SetBaseUrl("http://files.example/");
        upload = std::make_unique<clsUpload>(settings, texts, format,
                                             testsupport::FakeSocketFactory(&made), clock);
        upload->TrayTip = [this](const std::string& text) { tips.push_back(text); };
    }
    ~UpdateStatus() override { modUpload::ResetServiceValues(); }

    FakeSocket& Net() { return *made.at(0); }

    void Start(int64_t size, bool sparse = false) {
        std::string path;
        if (sparse) {
            path = dir.WriteFile("report.pdf", "");
            std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
        } else {
            path = dir.WriteRandomFile("report.pdf", size);
        }
        item = MakeUploadItem(path, size, settings, texts, format);
        upload->m_Item = item;
        upload->StartUpload();
        Net().Accept();
        Net().DrainAll();
        Net().Feed(PageAnswer);
        Net().PeerClose();
        ASSERT_EQ(upload->RequestIndex(), clsUpload::RequestFile);
        Net().ClearRecord();
        Net().Accept();
    }

    // Lets exactly count bytes of the request go out.
    void Send(int64_t count) {
        int64_t taken = 0;
        while (taken < count) {
            const int64_t step = Net().Drain(count - taken);
            ASSERT_GT(step, 0) << "nothing more queued after " << taken;
            taken += step;
        }
    }

    // Head and multipart framing around the file, read from what the client queued.
    int64_t Overhead() const {
        const std::string head = made.at(0)->Sends().at(0);
        const int64_t length =
            modHTTP::NumericValue(modHTTP::HeaderValue(head, "Content-Length:", "0"));
        return static_cast<int64_t>(head.size()) + length - item->FileSize;
    }

    std::vector<std::string> Progress() const {
        return {item->ProgressText, item->SentText, item->SpeedText, item->ElapsedText,
                item->RemainingText};
    }

    TempDir dir;
    ConfigSettings settings;
    modLanguage::TextLists texts = GermanTexts();
    NumberFormat format = GermanFormat();
    FixedClock clock;
    std::vector<FakeSocket*> made;
    std::unique_ptr<clsUpload> upload;
    std::shared_ptr<UploadItem> item;
    std::vector<std::string> tips;
};

TEST_F(UpdateStatus, HalfOfAMillionBytesAfterTwoSeconds) {
    Start(1000000);
    const int64_t overhead = Overhead();
    ASSERT_GT(overhead, 0);
    Send(overhead + 500000);
    clock.Advance(2);
    upload->UpdateStatus();
    const double speed = static_cast<double>(overhead + 500000) / 1024 / 2;
    EXPECT_EQ(Progress(),
              (std::vector<std::string>{"50%", "489 KB", FormatFixed2(speed, format) + " KB/s",
                                        "00:00:02", "00:00:02"}));
    EXPECT_EQ(item->SpeedText.find(','), 3u); // "24x,yy KB/s": German decimal comma
    ASSERT_FALSE(tips.empty());
    EXPECT_EQ(tips.back(), "report.pdf (50%)");
}

TEST_F(UpdateStatus, FilesBeyond4GiBCountInFullBytes) {
    const int64_t size = 5LL * 1024 * 1024 * 1024; // sparse: no disk space used
    Start(size, true);
    Send(Overhead() + 96 * 1048576);
    clock.Advance(4);
    upload->UpdateStatus();
    EXPECT_EQ(item->ProgressText, "2%"); // 96 MiB of 5 GiB: 1.875 %
    EXPECT_EQ(item->SentText, "98.304 KB");
    EXPECT_EQ(item->ElapsedText, "00:00:04");
    // 96 MiB (and the head) in 4 s: about 24 MB/s, so the rest takes about 209 s.
    EXPECT_EQ(item->SpeedText.rfind("24.576,", 0), 0u) << item->SpeedText;
    EXPECT_EQ(item->RemainingText, "00:03:29");
}

TEST_F(UpdateStatus, FirstSecondShowsNoSpeedAndNoRemainingTime) {
    Start(100000);
    Send(Overhead() + 25000);
    upload->UpdateStatus();
    EXPECT_EQ(Progress(),
              (std::vector<std::string>{"25%", "25 KB", "0,00 KB/s", "00:00:00", "00:00:00"}));
    EXPECT_EQ(tips.back(), "report.pdf (25%)");
}

TEST_F(UpdateStatus, PercentIsRoundedToTheNearestWholeNumber) {
    Start(1000);
    Send(Overhead() + 125); // 12.5 % rounds up
    upload->UpdateStatus();
    EXPECT_EQ(item->ProgressText, "13%");
    EXPECT_EQ(item->SentText, "1 KB");
    Send(874); // 99.9 %
    upload->UpdateStatus();
    EXPECT_EQ(item->ProgressText, "100%");
}

TEST_F(UpdateStatus, NothingChangesWhileOnlyTheHeadHasGoneOut) {
    Start(100000);
    Send(Overhead() - 10);
    clock.Advance(3);
    upload->UpdateStatus();
    EXPECT_EQ(Progress(), (std::vector<std::string>{"-", "-", "-", "-", "-"}));
    EXPECT_TRUE(tips.empty());
}

TEST_F(UpdateStatus, AnEmptyFileNeverGetsAPercentage) {
    Start(0);
    Net().DrainAll(); // everything sent: state 5 calls UpdateStatus itself
    clock.Advance(2);
    upload->UpdateStatus();
    EXPECT_EQ(Progress(), (std::vector<std::string>{"-", "-", "-", "-", "-"}));
    EXPECT_EQ(item->StatusText, "S6");
}

TEST_F(UpdateStatus, RequestCompletelySentRefreshesAtOnce) {
    Start(3000);
    clock.Advance(1);
    Net().DrainAll();
    EXPECT_EQ(item->StatusText, "S6");
    EXPECT_EQ(item->ProgressText, "100%");
    EXPECT_EQ(item->SentText, "3 KB");
    EXPECT_EQ(item->RemainingText, "00:00:00");
}

TEST_F(UpdateStatus, OutsideTheFileStepNothingChanges) {
    const std::string path = dir.WriteFile("a.txt", std::string(5000, 'a'));
    item = MakeUploadItem(path, 5000, settings, texts, format);
    upload->m_Item = item;
    upload->StartUpload();
    Net().Accept();
    Net().DrainAll();
    clock.Advance(5);
    upload->UpdateStatus();
    EXPECT_EQ(upload->RequestIndex(), clsUpload::RequestUploadPage);
    EXPECT_EQ(Progress(), (std::vector<std::string>{"-", "-", "-", "-", "-"}));
    EXPECT_TRUE(tips.empty());
}

} // namespace
