// The list commands of the queue: adding with its refusals, the option commands, copy links,
// remove, and which commands are available when.
#include "QueueFixture.h"

using namespace uitest;

namespace {

TEST_F(QueueTest, AddRefusesDuplicatesFilesOverTheLimitFoldersAndMissingFiles) {
    settings.SetDialogPath("/start");
    Add({}); // cancelled
    EXPECT_EQ(settings.DialogPath(), "/start");
    const auto a = File("a.txt");
    Add({a, a});
    EXPECT_EQ(settings.DialogPath(), dir.path().toStdString());
    Add({File("exact.bin", 100 * MB), File("over.bin", 100 * MB + 1), File("b.txt"), a});
    // A folder or a missing file would upload as an empty file reported as done; a dropped
    // folder stands for the files in it.
    std::filesystem::create_directories(Path("folder/sub"));
    File("folder/sub/c.txt");
    Add({Path("folder")});
    queue->FilesDropped({Path("folder"), File("empty.txt", 0), Path("gone.txt")});
    EXPECT_EQ(Rows() + " " + panels["file_count"],
              "a.txt,exact.bin,b.txt,c.txt,empty.txt, file_count: 5");
    EXPECT_EQ(messages, (Strings{"M2 a.txt schon da /48", "M3 over.bin > 100 MB /48",
                                 "M2 a.txt schon da /48", "M5 21: folder: Is a directory /16",
                                 "M5 2: gone.txt: No such file or directory /16"}));
    // Sizes of 2 GiB and more are measured whole.
    queue->SetService({5 * 1024 * MB, "", ""});
    Add({File("big.iso", 3 * 1024 * MB), File("huge.iso", 6 * 1024 * MB)});
    EXPECT_EQ(Row(5).FileSize, 3 * 1024 * MB);
    EXPECT_EQ(messages.back(), "M3 huge.iso > 5.120 MB /48");
}

TEST_F(QueueTest, OptionCommandsChangeTheSelectedRowsAndCutAtCharacters) {
    Add({File("a"), File("b")});
    selection = {1};
    queue->PublishYes();
    EXPECT_EQ(Rows(&UploadItem::PublishFlag) + Row(1).PublishText, "0,1,S20");
    queue->PublishNo();
    EXPECT_EQ(Rows(&UploadItem::PublishFlag) + Row(1).PublishText, "0,0,S21");

    const std::string umlauts = QString(70, QChar(0xE4)).toStdString(); // 2 bytes each
    const std::pair<void (UploadQueue::*)(), std::string UploadItem::*> commands[] = {
        {&UploadQueue::SetBinLayerID, &UploadItem::BinLayerId},
        {&UploadQueue::SetDescription, &UploadItem::FileDescription},
        {&UploadQueue::SetPassword, &UploadItem::FilePassword}};
    for (const auto& [command, field] : commands) {
        // 70 letters, 70 umlauts, cancelled, then empty on both rows.
        inputs = {std::string(70, 'x'), umlauts, std::nullopt, ""};
        std::string seen;
        for (const std::set<int32_t>& selected : {std::set{1}, {1}, {1}, {0, 1}}) {
            selection = selected;
            (queue.get()->*command)();
            seen += Rows(field) + " ";
        }
        EXPECT_EQ(seen, "," + std::string(60, 'x') + ", ," + umlauts.substr(0, 120) + ", ," +
                            umlauts.substr(0, 120) + ", ,, ");
    }
    EXPECT_EQ(prompts.front() + " " + prompts.back(), "I1|Vostrand-Uploader I3|Vostrand-Uploader");
}

// Which commands are on in each state of the window, and what Copy and Remove take.
TEST_F(QueueTest, CommandsFollowTheStateOfTheWindow) {
    queue->SetInitialState();
    EXPECT_EQ(State(), "-000--0000000000 -00--------00-00 00") << "just opened";
    queue->objInfo_Complete(true);
    EXPECT_EQ(State(), "-100--0000000111 -10--------00-11 10") << "information arrived";
    Add({File("1"), File("2"), File("3"), File("4"), File("5")});
    EXPECT_EQ(State(), "-111--1111110111 -11--------10-11 10") << "rows added";
    for (int32_t i = 0; i < 3; ++i) {
        Row(i).UploadState = i == 1 ? "ERROR" : "COMPLETE";
        Row(i).DownloadUrl = "http://x/" + std::to_string(i);
    }
    selection = {1};
    queue->CopyUrls(); // nothing to copy
    selection = {0, 1, 2};
    queue->CopyUrls(); // complete rows only, in list order
    EXPECT_EQ(clipboard, Strings{"http://x/0\r\nhttp://x/2"});
    queue->SetIdleState(false);
    EXPECT_EQ(State(), "-000--1111001111 -00--------01-11 00") << "run in progress";
    queue->SetIdleState(true);
    selection = {1, 2, 4, 7}; // with a row that is not there
    queue->Remove();
    EXPECT_EQ(Rows() + panels["file_count"], "1,4,file_count: 2");
    EXPECT_EQ(State(), "-111--1111110111 -11--------10-11 10") << "run ended, rows removed";
    queue->SelectAll();
    queue->Remove();
    EXPECT_EQ(Rows() + panels["file_count"], "file_count: 0");
    EXPECT_EQ(State(), "-100--0000000111 -10--------00-11 10") << "last row removed";
}

} // namespace
