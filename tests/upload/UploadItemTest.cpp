#include "upload/UploadItem.h"
#include "UploadTestSupport.h"

using namespace uploadtest;

namespace {

TEST(UploadItem, NewRowShowsItsDefaultsAndDashes) {
    const auto texts = GermanTexts();
    ConfigSettings settings;
    const auto plain =
        MakeUploadItem("/home/anna/Daten/Bericht.PDF", 1025, settings, texts, GermanFormat());
    EXPECT_EQ(plain->FileName, "Bericht.PDF");
    EXPECT_EQ(plain->IconKey, ".pdf");
    EXPECT_EQ(plain->UploadState, "IDLE");
    EXPECT_EQ(plain->PublishFlag, "0");
    const std::vector<std::string> expected = {"Bericht.PDF", "S21", "-", "-", "-", "2 KB", "S1",
                                               "-",           "-",   "-", "-", "-", "-"};
    for (int32_t column = 0; column < static_cast<int32_t>(UploadColumn::Count); ++column) {
        EXPECT_EQ(plain->ColumnText(static_cast<UploadColumn>(column)), expected[column])
            << "column " << column;
    }

    settings.SetUploadBinLayerID("BL-7");
    settings.SetUploadDescription("Urlaub 2026");
    settings.SetUploadPassword("geheim");
    const auto item = MakeUploadItem("/tmp/noext", 0, settings, texts, GermanFormat());
    EXPECT_EQ(item->IconKey, "");
    EXPECT_EQ(item->ColumnText(UploadColumn::Size), "0 KB");
    EXPECT_EQ(item->ColumnText(UploadColumn::BinLayerId), "BL-7");
    EXPECT_EQ(item->ColumnText(UploadColumn::Description), "Urlaub 2026");
    EXPECT_EQ(item->ColumnText(UploadColumn::Password), "geheim");
    item->SetPublish(true, texts);
    EXPECT_EQ(item->PublishFlag + " " + item->ColumnText(UploadColumn::Publish), "1 S20");
}

UploadList::Row Row(const std::string& path, const char* state = UploadStateWord::Idle) {
    auto row = std::make_shared<UploadItem>();
    row->FilePath = path;
    row->UploadState = state;
    return row;
}

std::vector<std::string> Keys(const UploadList& list) {
    std::vector<std::string> keys;
    for (const auto& row : list) {
        keys.push_back(row->FilePath);
    }
    return keys;
}

TEST(UploadList, InsertionOrderUniqueKeysAndLookup) {
    UploadList list;
    for (const char* path : {"/b", "/a", "/c", "/d", "/e"}) {
        ASSERT_TRUE(list.Append(Row(path)));
    }
    EXPECT_FALSE(list.Append(Row("/a")));
    EXPECT_FALSE(list.Append(nullptr));
    EXPECT_TRUE(list.Append(Row("/A"))); // letter case tells files apart here
    EXPECT_TRUE(list.Remove("/a"));
    EXPECT_TRUE(list.RemoveAt(1)); // "/c"
    EXPECT_FALSE(list.RemoveAt(4));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_FALSE(list.Remove("/a"));
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"/b", "/d", "/e", "/A"}));
    EXPECT_EQ(list.IndexOf("/e"), 2);
    EXPECT_EQ(list.IndexOf("/c"), -1);
    EXPECT_EQ(list.Find("/c"), nullptr);
    EXPECT_EQ(list.Find("/d")->FilePath, "/d");
    EXPECT_TRUE(list.Append(Row("/c"))); // the key is free again
    EXPECT_EQ(list.At(4)->FilePath, "/c");

    // The queue's next row: the first "IDLE" one in list order.
    list.At(0)->UploadState = UploadStateWord::Complete;
    list.At(1)->UploadState = UploadStateWord::Error;
    EXPECT_EQ(list.FirstIdle()->FilePath, "/e");
    list.Clear();
    EXPECT_EQ(list.FirstIdle(), nullptr);
}

// A view follows the list without a copy: each change is announced around it.
TEST(UploadList, AnnouncesEveryChangeAroundIt) {
    UploadList list;
    std::vector<std::string> seen;
    const auto at = [&](const char* event) {
        return [&seen, &list, event](int32_t index) {
            seen.push_back(std::string(event) + " " + std::to_string(index) + " of " +
                           std::to_string(list.Count()));
        };
    };
    list.AboutToInsert = at("insert");
    list.Inserted = at("inserted");
    list.AboutToRemove = at("remove");
    list.Removed = at("removed");
    list.AboutToClear = [&] { seen.push_back("clear of " + std::to_string(list.Count())); };
    list.Cleared = [&] { seen.push_back("cleared of " + std::to_string(list.Count())); };
    list.Changed = [&](int32_t index, ColumnSet columns) {
        seen.push_back("changed " + std::to_string(index) + " " + std::to_string(columns));
    };
    list.Append(Row("/a"));
    list.Append(Row("/b"));
    list.Append(Row("/a")); // refused: nothing announced
    list.RemoveAt(0);
    list.RemoveAt(5);
    list.NotifyChanged(0, ColumnBit(UploadColumn::Status));
    list.NotifyChanged(1);
    list.Clear();
    EXPECT_EQ(seen, (std::vector<std::string>{"insert 0 of 0", "inserted 0 of 1", "insert 1 of 1",
                                              "inserted 1 of 2", "remove 0 of 2", "removed 0 of 1",
                                              "changed 0 64", "clear of 1", "cleared of 0"}));
}

} // namespace
