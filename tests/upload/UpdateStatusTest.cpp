// The progress columns and tray tip of the file transfer step.
#include "UploadTestSupport.h"
#include "http/modHTTP.h"

#include <cstdio>
#include <filesystem>

using namespace uploadtest;

namespace {

class Progress : public EngineTest {
protected:
    // Runs to the file post of report.pdf of size bytes and opens its connection.
    void Start(int64_t size, bool sparse = false) {
        path = sparse ? dir.WriteFile("report.pdf", "") : dir.WriteRandomFile("report.pdf", size);
        if (sparse) {
            std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
        }
        item = MakeUploadItem(path, size, settings, texts, format);
        upload->m_Item = item;
        RunTo(clsUpload::RequestFile);
        Net().ClearRecord();
        Net().Accept();
    }

    // Lets exactly count bytes of the request go out.
    void Send(int64_t count) {
        for (int64_t taken = 0; taken < count;) {
            const int64_t step = Net().Drain(count - taken);
            ASSERT_GT(step, 0) << "nothing more queued after " << taken;
            taken += step;
        }
    }

    // Head and multipart framing around the file, read from what the client queued.
    int64_t Overhead() {
        const std::string head = Net().Sends().at(0);
        return static_cast<int64_t>(head.size()) - item->FileSize +
               modHTTP::NumericValue(modHTTP::HeaderValue(head, "Content-Length:", "0"));
    }

    std::vector<std::string> Columns() const {
        return {item->ProgressText, item->SentText, item->SpeedText, item->ElapsedText,
                item->RemainingText};
    }
    const std::vector<std::string> Dashes{"-", "-", "-", "-", "-"};
};

TEST_F(Progress, HalfOfAMillionBytesAfterTwoSeconds) {
    Start(1000000);
    const int64_t overhead = Overhead();
    Send(overhead + 500000);
    clock.Advance(2);
    upload->UpdateStatus();
    // (overhead + 500 000) / 1024 / 2 KB/s: a little over 244,38 with a German decimal comma.
    char speed[32];
    std::snprintf(speed, sizeof speed, "%.2f", static_cast<double>(overhead + 500000) / 2048);
    std::string speedText = speed;
    speedText.replace(3, 1, ",");
    EXPECT_EQ(speedText.substr(0, 3), "244");
    EXPECT_EQ(Columns(), (std::vector<std::string>{"50%", "489 KB", speedText + " KB/s", "00:00:02",
                                                   "00:00:02"}));
    EXPECT_EQ(tips.back(), "report.pdf (50%)");
    // The raw values beside the texts.
    EXPECT_EQ(item->Percent, 50);
    EXPECT_EQ(item->BytesSent, 500000);
    EXPECT_DOUBLE_EQ(item->Speed, static_cast<double>(overhead + 500000) / 2);
    EXPECT_TRUE(item->Uploading);
}

TEST_F(Progress, FilesBeyond4GiBCountInFullBytes) {
    Start(5LL * 1024 * 1024 * 1024, true); // sparse: no disk space used
    Send(Overhead() + 96 * 1048576);
    clock.Advance(4);
    upload->UpdateStatus();
    // 96 MiB of 5 GiB is 1.875 %; about 24 MB/s, so the rest takes about 209 s.
    EXPECT_EQ(item->ProgressText, "2%");
    EXPECT_EQ(item->SentText, "98.304 KB");
    EXPECT_EQ(item->SpeedText.rfind("24.576,", 0), 0u) << item->SpeedText;
    EXPECT_EQ(item->RemainingText, "00:03:29");
}

TEST_F(Progress, FirstSecondRoundingAndTheEndOfTheRequest) {
    Start(1000);
    Send(Overhead() + 125); // 12.5 % rounds up; no whole second yet, so no speed
    upload->UpdateStatus();
    EXPECT_EQ(Columns(),
              (std::vector<std::string>{"13%", "1 KB", "0,00 KB/s", "00:00:00", "00:00:00"}));
    EXPECT_EQ(tips.back(), "report.pdf (13%)");
    // Everything sent: state 5 refreshes the columns at once.
    clock.Advance(1);
    Net().DrainAll();
    EXPECT_EQ(item->StatusText, "S6");
    EXPECT_EQ(item->ProgressText + " " + item->SentText + " " + item->RemainingText,
              "100% 1 KB 00:00:00");
}

TEST_F(Progress, NothingChangesOutsideTheFileOrBeforeItsFirstByte) {
    AddRow("report.pdf", std::string(5000, 'a'));
    upload->StartUpload();
    TakeRequest(); // step 1 has gone out
    clock.Advance(5);
    upload->UpdateStatus();
    EXPECT_EQ(Columns(), Dashes);
    Reply(PageAnswer);
    Net().ClearRecord();
    Net().Accept();
    Send(Overhead() - 10);
    clock.Advance(3);
    upload->UpdateStatus();
    EXPECT_EQ(Columns(), Dashes);
    EXPECT_TRUE(tips.empty());
}

TEST_F(Progress, AnEmptyFileNeverGetsAPercentage) {
    Start(0);
    Net().DrainAll(); // everything sent: state 5 calls UpdateStatus itself
    clock.Advance(2);
    upload->UpdateStatus();
    EXPECT_EQ(Columns(), Dashes);
    EXPECT_EQ(item->StatusText, "S6");
    Reply(FileAnswer); // step 3 now
    upload->UpdateStatus();
    EXPECT_EQ(Columns(), Dashes);
}

} // namespace
