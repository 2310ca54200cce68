// The list commands of the queue: adding with its refusals, remove, the option commands, copy
// links, and which commands are available after each.
#include "QueueFixture.h"

using uitest::MB;
using uitest::QueueTest;

namespace {

using Strings = std::vector<std::string>;

class ListTest : public QueueTest {
protected:
    ListTest() { queue->objInfo_Complete(true); } // the service allows 100 MB
    Strings Messages() const {
        Strings texts;
        for (const auto& message : toolkit.messages) {
            texts.push_back(message.text + " /" + std::to_string(message.flags));
        }
        return texts;
    }
};

TEST_F(ListTest, AddRefusesDuplicatesFilesOverTheLimitFoldersAndMissingFiles) {
    settings.SetDialogPath("/start");
    Add({}); // cancelled
    queue->FilesDropped({});
    EXPECT_EQ(toolkit.openDialogFolder + " " + settings.DialogPath(), "/start /start");
    EXPECT_EQ(toolkit.redrawOffCount, 0);

    const auto a = File("a.txt");
    Add({a, a});
    EXPECT_EQ(settings.DialogPath(), dir.Path());
    Add({File("exact.bin", 100 * MB), File("over.bin", 100 * MB + 1), File("b.txt"), a});
    // A folder or a missing file would upload as an empty file reported as done; a dropped
    // folder stands for the files in it.
    std::filesystem::create_directories(dir.FilePath("folder/sub"));
    File("folder/sub/c.txt");
    Add({dir.FilePath("folder")});
    queue->FilesDropped({dir.FilePath("folder"), File("empty.txt", 0), dir.FilePath("gone.txt")});
    EXPECT_EQ(Names(), (Strings{"a.txt", "exact.bin", "b.txt", "c.txt", "empty.txt"}));
    EXPECT_EQ(Messages(), (Strings{"M2 a.txt schon da /48", "M3 over.bin > 100 MB /48",
                                   "M2 a.txt schon da /48", "M5 21: folder: Is a directory /16",
                                   "M5 2: gone.txt: No such file or directory /16"}));
    EXPECT_EQ(Row(1).SizeText, "102.400 KB");
    // One redraw pause per batch, no current row left, the count panel refreshed.
    EXPECT_EQ(toolkit.redrawOffCount, 4);
    EXPECT_TRUE(toolkit.redraw && toolkit.currentRowCleared);
    EXPECT_EQ(toolkit.rowCount, 5);
    EXPECT_EQ(toolkit.Panel("file_count"), "file_count: 5");

    // Sizes of 2 GiB and more are measured whole.
    queue->SetService({5 * 1024 * MB, "", ""});
    Add({File("big.iso", 3 * 1024 * MB), File("huge.iso", 6 * 1024 * MB)});
    EXPECT_EQ(Row(5).FileSize, 3 * 1024 * MB);
    EXPECT_EQ(toolkit.messages.back().text, "M3 huge.iso > 5.120 MB");
}

TEST_F(ListTest, NewRowsTakeTheUploadDefaultsAndIconsAreAskedOncePerKey) {
    toolkit.iconsAvailable = {".pdf", ""};
    Add({File("Bericht.PDF"), File("foto.pdf"), File("README"), File("notes.xyz")});
    settings.SetUploadBinLayerID("layer");
    settings.SetUploadDescription("Urlaub");
    settings.SetUploadPassword("geheim");
    Add({File("more.xyz")});
    // .xyz has no icon, so it is asked again; the others are reused.
    EXPECT_EQ(toolkit.iconRequests, (Strings{".pdf", "", ".xyz", ".xyz"}));

    const UploadItem& plain = Row(0);
    EXPECT_EQ(plain.PublishText + plain.PublishFlag, "S210");
    EXPECT_EQ(plain.StatusText + plain.UploadState, "S1IDLE");
    for (auto column : {UploadColumn::BinLayerId, UploadColumn::Description, UploadColumn::Password,
                        UploadColumn::Progress, UploadColumn::DownloadUrl}) {
        EXPECT_EQ(plain.ColumnText(column), "-");
    }
    const UploadItem& with = Row(4);
    EXPECT_EQ(with.BinLayerId + with.FileDescription + with.FilePassword, "layerUrlaubgeheim");
}

TEST_F(ListTest, RemoveTakesTheSelectedRowsAndTheLastRowTakesTheRowCommands) {
    Add({File("1"), File("2"), File("3"), File("4"), File("5")});
    // Handed in click order (see RecordingToolkit), with a row that is not there (any more).
    toolkit.selection = {1, 2, 4, 7};
    queue->Remove();
    EXPECT_EQ(Names(), (Strings{"1", "4"}));
    EXPECT_EQ(toolkit.Panel("file_count"), "file_count: 2");
    EXPECT_TRUE(toolkit.Menu("mnuEditRemove"));

    queue->SelectAll();
    queue->Remove();
    EXPECT_TRUE(Names().empty());
    for (const char* menu :
         {"mnuEditRemove", "mnuEditPublish", "mnuEditSetBinLayerID", "mnuEditSetDescription",
          "mnuEditSetPassword", "mnuEditCopyUrls", "mnuEditSelectAll", "mnuUploadStart"}) {
        EXPECT_FALSE(toolkit.Menu(menu)) << menu;
    }
    EXPECT_FALSE(toolkit.Button("remove") || toolkit.Button("upload"));
    EXPECT_TRUE(toolkit.Menu("mnuEditAdd"));
    EXPECT_EQ(toolkit.Panel("file_count"), "file_count: 0");
}

TEST_F(ListTest, OptionCommandsChangeTheSelectedRows) {
    Add({File("a"), File("b")});
    toolkit.selection = {1};
    queue->PublishYes();
    EXPECT_EQ(Row(1).PublishText + Row(1).PublishFlag, "S201");
    EXPECT_EQ(Row(0).PublishFlag, "0");
    queue->PublishNo();
    EXPECT_EQ(Row(1).PublishText + Row(1).PublishFlag, "S210");

    std::string umlauts; // sixty characters, not bytes: "ä" is two bytes
    for (int i = 0; i < 70; ++i) {
        umlauts += "ä";
    }
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
        toolkit.inputAnswers = {std::string(70, 'x')};
        (queue.get()->*c.command)();
        EXPECT_EQ(toolkit.prompts.back(), c.prompt + "|Vostrand-Uploader");
        EXPECT_EQ(Row(1).*c.field, std::string(60, 'x'));
        EXPECT_EQ(Row(0).ColumnText(c.column), "-");
        toolkit.inputAnswers = {umlauts, std::nullopt};
        (queue.get()->*c.command)();
        (queue.get()->*c.command)(); // cancelled: nothing changes
        EXPECT_EQ(Row(1).*c.field, umlauts.substr(0, 120));

        toolkit.selection = {0, 1};
        toolkit.inputAnswers = {std::string()};
        (queue.get()->*c.command)();
        EXPECT_EQ(Row(1).*c.field, "");
        EXPECT_EQ(Row(1).ColumnText(c.column), "-");
    }
}

TEST_F(ListTest, CopyUrlsJoinsTheSelectedCompleteRowsInListOrder) {
    Add({File("a"), File("b"), File("c")});
    const char* states[] = {"COMPLETE", "ERROR", "COMPLETE"};
    for (int32_t i = 0; i < 3; ++i) {
        Row(i).UploadState = states[i];
        Row(i).DownloadUrl = "http://x/" + std::to_string(i);
    }
    toolkit.selection = {1};
    queue->CopyUrls();
    EXPECT_TRUE(toolkit.clipboard.empty());
    toolkit.selection = {0, 1, 2};
    queue->CopyUrls();
    EXPECT_EQ(toolkit.clipboard, Strings{"http://x/0\r\nhttp://x/2"});
}

// Which commands are on in each state of the window.
TEST_F(QueueTest, CommandsFollowTheStateOfTheWindow) {
    const Strings menus = {"mnuEditAdd",         "mnuEditRemove",   "mnuEditPublish",
                           "mnuEditSetPassword", "mnuEditCopyUrls", "mnuEditSelectAll",
                           "mnuUploadStart",     "mnuUploadCancel", "mnuHelpNews"};
    const Strings buttons = {"add", "remove", "upload", "cancel"};
    // The on/off states of menus, then buttons, then drops, as "1" and "0".
    const auto states = [&] {
        std::string text;
        for (const auto& menu : menus) {
            text += toolkit.Menu(menu) ? '1' : '0';
        }
        text += ' ';
        for (const auto& button : buttons) {
            text += toolkit.Button(button) ? '1' : '0';
        }
        return text + (toolkit.drop ? " 1" : " 0");
    };
    queue->SetInitialState();
    EXPECT_EQ(states(), "000000000 0000 0") << "just opened";
    queue->objInfo_Complete(true);
    EXPECT_EQ(states(), "100000001 1000 1") << "information arrived";
    Add({File("a")});
    EXPECT_EQ(states(), "111111101 1110 1") << "a row added";
    queue->SetIdleState(false);
    EXPECT_EQ(states(), "000110011 0001 0") << "run in progress";
    queue->SetIdleState(true);
    EXPECT_EQ(states(), "111111101 1110 1") << "run ended";
    toolkit.selection = {0};
    queue->Remove();
    EXPECT_EQ(states(), "100000001 1000 1") << "last row removed";
}

} // namespace
