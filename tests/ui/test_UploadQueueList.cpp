// The list commands of the queue: adding with its refusals, remove, the option commands, copy
// links, and which commands are available in which state.
#include "QueueFixture.h"

using namespace uitest;

namespace {

TEST_F(QueueTest, AddRefusesDuplicatesFilesOverTheLimitFoldersAndMissingFiles) {
    settings.SetDialogPath("/start");
    Add({}); // cancelled
    queue->FilesDropped({});
    EXPECT_EQ(toolkit.openDialogFolder + " " + settings.DialogPath() + toolkit.view,
              "/start /start");

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
    EXPECT_EQ(Rows(), "a.txt,exact.bin,b.txt,c.txt,empty.txt,");
    EXPECT_EQ(toolkit.messages,
              (Strings{"M2 a.txt schon da /48", "M3 over.bin > 100 MB /48", "M2 a.txt schon da /48",
                       "M5 21: folder: Is a directory /16",
                       "M5 2: gone.txt: No such file or directory /16"}));
    EXPECT_EQ(Row(1).SizeText, "102.400 KB");
    // One redraw pause per batch that leaves no current row; the count panel refreshed.
    EXPECT_EQ(toolkit.view + " " + toolkit.panels["file_count"], "()-()-()-()- file_count: 5");

    // Sizes of 2 GiB and more are measured whole.
    queue->SetService({5 * 1024 * MB, "", ""});
    Add({File("big.iso", 3 * 1024 * MB), File("huge.iso", 6 * 1024 * MB)});
    EXPECT_EQ(Row(5).FileSize, 3 * 1024 * MB);
    EXPECT_EQ(toolkit.messages.back(), "M3 huge.iso > 5.120 MB /48");
}

TEST_F(QueueTest, NewRowsTakeTheUploadDefaultsAndIconsAreAskedOncePerKey) {
    toolkit.noIcon = {".xyz"};
    Add({File("Bericht.PDF"), File("foto.pdf"), File("README"), File("notes.xyz")});
    settings.SetUploadBinLayerID("layer");
    settings.SetUploadDescription("Urlaub");
    Add({File("more.xyz")});
    EXPECT_EQ(toolkit.iconRequests, (Strings{".pdf", "", ".xyz", ".xyz"}));
    EXPECT_EQ(Rows(&UploadItem::PublishText) + Rows(&UploadItem::UploadState).substr(0, 5),
              "S21,S21,S21,S21,S21,IDLE,");
    EXPECT_EQ(Row(0).ColumnText(UploadColumn::Description), "-");
    EXPECT_EQ(Row(4).BinLayerId + Row(4).FileDescription, "layerUrlaub");
}

TEST_F(QueueTest, OptionCommandsChangeTheSelectedRowsAndCutAtCharacters) {
    Add({File("a"), File("b")});
    toolkit.selection = {1};
    queue->PublishYes();
    EXPECT_EQ(Rows(&UploadItem::PublishFlag) + Row(1).PublishText, "0,1,S20");
    queue->PublishNo();
    EXPECT_EQ(Rows(&UploadItem::PublishFlag) + Row(1).PublishText, "0,0,S21");

    std::string umlauts; // "ä" is two bytes: 60 of them are 120 bytes
    for (int i = 0; i < 70; ++i)
        umlauts += "ä";
    const struct {
        void (UploadQueue::*command)();
        std::string UploadItem::*field;
        UploadColumn column;
        std::string prompt;
    } commands[] = {
        {&UploadQueue::SetBinLayerID, &UploadItem::BinLayerId, UploadColumn::BinLayerId, "I1"},
        {&UploadQueue::SetDescription, &UploadItem::FileDescription, UploadColumn::Description,
         "I2"},
        {&UploadQueue::SetPassword, &UploadItem::FilePassword, UploadColumn::Password, "I3"}};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.prompt);
        toolkit.selection = {1};
        toolkit.inputs = {std::string(70, 'x'), umlauts, std::nullopt};
        (queue.get()->*c.command)();
        EXPECT_EQ(toolkit.prompts.back(), c.prompt + "|Vostrand-Uploader");
        EXPECT_EQ(Rows(c.field), "," + std::string(60, 'x') + ",");
        (queue.get()->*c.command)();
        (queue.get()->*c.command)(); // cancelled: nothing changes
        EXPECT_EQ(Rows(c.field), "," + umlauts.substr(0, 120) + ",");
        toolkit.selection = {0, 1};
        toolkit.inputs = {std::string()};
        (queue.get()->*c.command)();
        EXPECT_EQ(Rows(c.field) + Row(1).ColumnText(c.column), ",,-");
    }
}

TEST_F(QueueTest, CopyUrlsJoinsTheSelectedCompleteRowsInListOrder) {
    Add({File("a"), File("b"), File("c")});
    const char* states[] = {"COMPLETE", "ERROR", "COMPLETE"};
    for (int32_t i = 0; i < 3; ++i) {
        Row(i).UploadState = states[i];
        Row(i).DownloadUrl = "http://x/" + std::to_string(i);
    }
    toolkit.selection = {1};
    queue->CopyUrls();
    toolkit.selection = {0, 1, 2};
    queue->CopyUrls();
    EXPECT_EQ(toolkit.clipboard, Strings{"http://x/0\r\nhttp://x/2"});
}

// Which commands are on in each state of the window, and what Remove takes.
TEST_F(QueueTest, CommandsFollowTheStateOfTheWindow) {
    queue->SetInitialState();
    EXPECT_EQ(Commands(), "00000000000 0000 00") << "just opened";
    queue->objInfo_Complete(true);
    EXPECT_EQ(Commands(), "10000000001 1000 10") << "information arrived";
    Add({File("1"), File("2"), File("3"), File("4"), File("5")});
    EXPECT_EQ(Commands(), "11111111101 1110 10") << "rows added";
    queue->SetIdleState(false);
    EXPECT_EQ(Commands(), "00011110011 0001 00") << "run in progress";
    queue->SetIdleState(true);
    toolkit.selection = {1, 2, 4, 7}; // with a row that is not there
    queue->Remove();
    EXPECT_EQ(Rows() + toolkit.panels["file_count"], "1,4,file_count: 2");
    EXPECT_EQ(Commands(), "11111111101 1110 10") << "run ended, rows removed";
    queue->SelectAll();
    queue->Remove();
    EXPECT_EQ(Rows() + toolkit.panels["file_count"], "file_count: 0");
    EXPECT_EQ(Commands(), "10000000001 1000 10") << "last row removed";
}

} // namespace
