// The list commands of the queue: adding with its refusals, remove, the option commands, copy
// links, and which commands are available after each.
#include "QueueFixture.h"

using uitest::QueueTest;

namespace {

class ListTest : public QueueTest {
protected:
    ListTest() { queue->objInfo_Complete(true); } // the service allows 100 MB
};

TEST_F(ListTest, DuplicatePathsAreRefusedInOneBatchAndAcrossBatches) {
    const auto a = File("a.txt");
    Add({a, a});
    ASSERT_EQ(Names(), (std::vector<std::string>{"a.txt"}));
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, "M2 a.txt schon da");
    EXPECT_EQ(toolkit.messages[0].flags, 48);

    Add({File("b.txt"), a});
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.txt", "b.txt"}));
    ASSERT_EQ(toolkit.messages.size(), 2u);
    EXPECT_EQ(toolkit.messages[1].text, "M2 a.txt schon da");
    EXPECT_EQ(toolkit.rowCount, 2);
}

TEST_F(ListTest, SizeLimitAcceptsTheExactMaximumAndRefusesOneByteMore) {
    Add({File("exact.bin", 100 * MB), File("over.bin", 100 * MB + 1)});
    EXPECT_EQ(Names(), (std::vector<std::string>{"exact.bin"}));
    EXPECT_EQ(Row(0).FileSize, 100 * MB);
    EXPECT_EQ(Row(0).SizeText, "102.400 KB");
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, "M3 over.bin > 100 MB");
    EXPECT_EQ(toolkit.messages[0].flags, 48);
}

TEST_F(ListTest, FilesOfTwoGibibytesAndMoreAreMeasuredWhole) {
    modUpload::SetMaxFileSize(5 * 1024 * MB);
    Add({File("big.iso", 3 * 1024 * MB), File("huge.iso", 6 * 1024 * MB)});
    ASSERT_EQ(Names(), (std::vector<std::string>{"big.iso"}));
    EXPECT_EQ(Row(0).FileSize, 3 * 1024 * MB);
    EXPECT_EQ(toolkit.messages.at(0).text, "M3 huge.iso > 5.120 MB");
}

TEST_F(ListTest, RefusedMiddleFileLeavesTheOthersInOrder) {
    Add({File("one.txt"), File("two.bin", 200 * MB), File("three.txt")});
    EXPECT_EQ(Names(), (std::vector<std::string>{"one.txt", "three.txt"}));
    EXPECT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.redrawOffCount, 1);
    EXPECT_TRUE(toolkit.redraw);
    EXPECT_TRUE(toolkit.currentRowCleared);
    EXPECT_EQ(toolkit.Panel("file_count"), "Dateien: 2");
}

TEST_F(ListTest, NewRowsTakeTheUploadDefaults) {
    Add({File("plain.txt")});
    settings.SetUploadBinLayerID("layer");
    settings.SetUploadDescription("Urlaub");
    settings.SetUploadPassword("geheim");
    Add({File("with.txt")});

    const UploadItem& plain = Row(0);
    EXPECT_EQ(plain.ColumnText(UploadColumn::Publish), "S21");
    EXPECT_EQ(plain.PublishFlag, "0");
    for (auto column : {UploadColumn::BinLayerId, UploadColumn::Description, UploadColumn::Password,
                        UploadColumn::Progress, UploadColumn::DownloadUrl}) {
        EXPECT_EQ(plain.ColumnText(column), "-");
    }
    EXPECT_EQ(plain.StatusText, "S1");
    EXPECT_EQ(plain.UploadState, "IDLE");

    const UploadItem& with = Row(1);
    EXPECT_EQ(with.ColumnText(UploadColumn::BinLayerId), "layer");
    EXPECT_EQ(with.ColumnText(UploadColumn::Description), "Urlaub");
    EXPECT_EQ(with.ColumnText(UploadColumn::Password), "geheim");
}

TEST_F(ListTest, IconIsAskedOncePerExtensionKey) {
    toolkit.iconsAvailable = {".pdf", ""};
    Add({File("Bericht.PDF"), File("foto.pdf"), File("README"), File("notes.xyz"),
         File("more.xyz")});
    EXPECT_EQ(Names().size(), 5u);
    // .xyz has no icon, so it is asked again; the others are reused.
    EXPECT_EQ(toolkit.iconRequests, (std::vector<std::string>{".pdf", "", ".xyz", ".xyz"}));
    EXPECT_TRUE(queue->EnsureExtensionIcon(".pdf"));
    EXPECT_EQ(toolkit.iconRequests.size(), 4u);
}

TEST_F(ListTest, AddDialogRemembersTheFolderAndCancelChangesNothing) {
    settings.SetDialogPath("/start");
    Add({});
    EXPECT_EQ(toolkit.openDialogFolder, "/start");
    EXPECT_EQ(settings.DialogPath(), "/start");
    EXPECT_EQ(toolkit.redrawOffCount, 0);

    Add({File("x.txt")});
    EXPECT_EQ(settings.DialogPath(), dir.Path());
}

TEST_F(ListTest, DroppedFoldersAndMissingFilesAreRefusedAndAnEmptyDropDoesNothing) {
    queue->FilesDropped({});
    EXPECT_EQ(toolkit.redrawOffCount, 0);
    std::filesystem::create_directory(dir.FilePath("folder"));
    queue->FilesDropped({dir.FilePath("folder"), File("empty.txt", 0), dir.FilePath("gone.txt"),
                         File("f.txt", 3000)});
    // Neither would upload anything but an empty file reported as done.
    EXPECT_EQ(Names(), (std::vector<std::string>{"empty.txt", "f.txt"}));
    EXPECT_EQ(Row(1).SizeText, "3 KB");
    ASSERT_EQ(toolkit.messages.size(), 2u);
    EXPECT_EQ(toolkit.messages[0].text, "M5 21: Is a directory");
    EXPECT_EQ(toolkit.messages[0].flags, 16);
    EXPECT_EQ(toolkit.messages[1].text, "M5 2: No such file or directory");
}

TEST_F(ListTest, RemoveTakesTheSelectedRowsOnly) {
    Add({File("1"), File("2"), File("3"), File("4"), File("5")});
    toolkit.selection = {1, 2, 4};
    queue->Remove();
    EXPECT_EQ(Names(), (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(toolkit.rowCount, 2);
    EXPECT_EQ(toolkit.Panel("file_count"), "Dateien: 2");
    EXPECT_TRUE(toolkit.Menu("mnuEditRemove"));

    queue->SelectAll();
    queue->Remove();
    EXPECT_TRUE(Names().empty());
    for (const char* menu :
         {"mnuEditRemove", "mnuEditPublish", "mnuEditSetBinLayerID", "mnuEditSetDescription",
          "mnuEditSetPassword", "mnuEditCopyUrls", "mnuEditSelectAll", "mnuUploadStart"}) {
        EXPECT_FALSE(toolkit.Menu(menu)) << menu;
    }
    EXPECT_FALSE(toolkit.Button("remove"));
    EXPECT_FALSE(toolkit.Button("upload"));
    EXPECT_TRUE(toolkit.Menu("mnuEditAdd"));
    EXPECT_EQ(toolkit.Panel("file_count"), "Dateien: 0");
}

TEST_F(ListTest, PublishChangesTheSelectedRows) {
    Add({File("a"), File("b"), File("c")});
    toolkit.selection = {0, 2};
    queue->PublishYes();
    EXPECT_EQ(Row(0).PublishFlag, "1");
    EXPECT_EQ(Row(0).PublishText, "S20");
    EXPECT_EQ(Row(1).PublishFlag, "0");
    EXPECT_EQ(Row(2).PublishFlag, "1");
    toolkit.selection = {2};
    queue->PublishNo();
    EXPECT_EQ(Row(2).PublishText, "S21");
    EXPECT_EQ(Row(0).PublishFlag, "1");
}

struct ValueCase {
    const char* name;
    void (UploadQueue::*command)();
    std::string UploadItem::*field;
    UploadColumn column;
    const char* prompt;
};

class ValueCommandTest : public ListTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueCommandTest, CutsAtSixtyCharactersClearsOnEmptyAndIgnoresCancel) {
    const ValueCase& c = GetParam();
    Add({File("a"), File("b")});
    toolkit.selection = {1};

    toolkit.inputAnswers = {std::string(70, 'x')};
    (queue.get()->*c.command)();
    EXPECT_EQ(toolkit.prompts.back(), std::string(c.prompt) + "|Vostrand-Uploader");
    EXPECT_EQ(Row(1).*c.field, std::string(60, 'x'));
    EXPECT_EQ(Row(0).ColumnText(c.column), "-");

    // Sixty characters, not bytes: "ä" is two bytes in UTF-8.
    std::string umlauts;
    for (int i = 0; i < 70; ++i) {
        umlauts += "ä";
    }
    toolkit.inputAnswers = {umlauts};
    (queue.get()->*c.command)();
    EXPECT_EQ(Row(1).*c.field, umlauts.substr(0, 120));

    toolkit.inputAnswers = {std::nullopt};
    (queue.get()->*c.command)();
    EXPECT_EQ(Row(1).*c.field, umlauts.substr(0, 120));

    toolkit.selection = {0, 1};
    toolkit.inputAnswers = {std::string()};
    (queue.get()->*c.command)();
    EXPECT_EQ(Row(0).*c.field, "");
    EXPECT_EQ(Row(1).ColumnText(c.column), "-");
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueCommandTest,
    ::testing::Values(ValueCase{"BinLayerID", &UploadQueue::SetBinLayerID, &UploadItem::BinLayerId,
                                UploadColumn::BinLayerId, "I1"},
                      ValueCase{"Description", &UploadQueue::SetDescription,
                                &UploadItem::FileDescription, UploadColumn::Description, "I2"},
                      ValueCase{"Password", &UploadQueue::SetPassword, &UploadItem::FilePassword,
                                UploadColumn::Password, "I3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListTest, CopyUrlsJoinsTheSelectedCompleteRowsInListOrder) {
    Add({File("a"), File("b"), File("c"), File("d")});
    Row(0).UploadState = "COMPLETE";
    Row(0).DownloadUrl = "http://x/a";
    Row(1).UploadState = "ERROR";
    Row(1).DownloadUrl = "";
    Row(2).UploadState = "COMPLETE";
    Row(2).DownloadUrl = "http://x/c";
    Row(3).UploadState = "COMPLETE";
    Row(3).DownloadUrl = "http://x/d";

    toolkit.selection = {1};
    queue->CopyUrls();
    EXPECT_TRUE(toolkit.clipboard.empty());

    toolkit.selection = {0, 1, 2};
    queue->CopyUrls();
    ASSERT_EQ(toolkit.clipboard.size(), 1u);
    EXPECT_EQ(toolkit.clipboard[0], "http://x/a\r\nhttp://x/c");
}

TEST_F(QueueTest, CommandsFollowTheStateOfTheWindow) {
    // Just opened: everything off.
    queue->SetInitialState();
    for (const char* menu :
         {"mnuEditAdd", "mnuEditRemove", "mnuEditPublish", "mnuEditCopyUrls", "mnuEditSelectAll",
          "mnuUploadStart", "mnuExtrasOptions", "mnuHelpNews", "mnuHelpAbout"}) {
        EXPECT_FALSE(toolkit.Menu(menu)) << menu;
    }
    EXPECT_FALSE(toolkit.drop);

    // The information arrived: add on, row commands still off on an empty list.
    queue->objInfo_Complete(true);
    EXPECT_TRUE(toolkit.Menu("mnuEditAdd"));
    EXPECT_TRUE(toolkit.Button("add"));
    EXPECT_TRUE(toolkit.drop);
    EXPECT_FALSE(toolkit.Menu("mnuEditRemove"));
    EXPECT_FALSE(toolkit.Menu("mnuUploadStart"));
    EXPECT_TRUE(toolkit.Menu("mnuHelpNews"));
    EXPECT_TRUE(toolkit.Menu("mnuHelpAbout"));
    EXPECT_EQ(toolkit.Panel("main"), "");
    EXPECT_EQ(toolkit.Panel("upload_maxfilesize"), "Größe: 100 MB");

    // A row: the row commands come on.
    Add({File("a")});
    for (const char* menu : {"mnuEditRemove", "mnuEditPublish", "mnuEditSetBinLayerID",
                             "mnuEditCopyUrls", "mnuEditSelectAll", "mnuUploadStart"}) {
        EXPECT_TRUE(toolkit.Menu(menu)) << menu;
    }
    EXPECT_TRUE(toolkit.Button("upload"));

    // A run: only the value commands and Copy URLs stay; cancel comes on.
    queue->SetIdleState(false);
    for (const char* menu :
         {"mnuEditAdd", "mnuEditRemove", "mnuEditPublish", "mnuEditSelectAll", "mnuUploadStart"}) {
        EXPECT_FALSE(toolkit.Menu(menu)) << menu;
    }
    for (const char* menu : {"mnuEditSetBinLayerID", "mnuEditSetDescription", "mnuEditSetPassword",
                             "mnuEditCopyUrls", "mnuUploadCancel"}) {
        EXPECT_TRUE(toolkit.Menu(menu)) << menu;
    }
    EXPECT_FALSE(toolkit.drop);
    EXPECT_TRUE(toolkit.Button("cancel"));
    EXPECT_FALSE(toolkit.Button("add"));

    // Idle again with rows.
    queue->SetIdleState(true);
    EXPECT_TRUE(toolkit.Menu("mnuEditRemove"));
    EXPECT_TRUE(toolkit.Button("upload"));
    EXPECT_FALSE(toolkit.Button("cancel"));
    EXPECT_TRUE(toolkit.drop);
}

} // namespace
