#include "upload/UploadItem.h"
#include "UploadTestSupport.h"
#include "settings/modConfig.h"

#include <gtest/gtest.h>

using namespace uploadtest;

namespace {

TEST(UploadItem, NewRowWithoutDefaultsShowsDashesAndPublishNo) {
    const auto texts = GermanTexts();
    const ConfigSettings settings;
    const auto item =
        MakeUploadItem("/home/anna/Daten/Bericht.PDF", 1025, settings, texts, GermanFormat());
    EXPECT_EQ(item->FilePath, "/home/anna/Daten/Bericht.PDF");
    EXPECT_EQ(item->FileName, "Bericht.PDF");
    EXPECT_EQ(item->IconKey, ".pdf");
    EXPECT_EQ(item->FileSize, 1025);
    EXPECT_EQ(item->SizeText, "2 KB");
    EXPECT_EQ(item->UploadState, "IDLE");
    EXPECT_EQ(item->StatusText, "S1");
    EXPECT_EQ(item->PublishText, "S21");
    EXPECT_EQ(item->PublishFlag, "0");
    const std::vector<std::string> expected = {"Bericht.PDF", "S21", "-", "-", "-", "2 KB", "S1",
                                               "-",           "-",   "-", "-", "-", "-"};
    for (int32_t column = 0; column < static_cast<int32_t>(UploadColumn::Count); ++column) {
        EXPECT_EQ(item->ColumnText(static_cast<UploadColumn>(column)), expected[column])
            << "column " << column;
    }
}

TEST(UploadItem, NewRowTakesTheUploadDefaultsAndShowsThem) {
    const auto texts = GermanTexts();
    ConfigSettings settings;
    settings.SetUploadBinLayerID("BL-7");
    settings.SetUploadDescription("Urlaub 2026");
    settings.SetUploadPassword("geheim");
    const auto item = MakeUploadItem("/tmp/noext", 0, settings, texts, GermanFormat());
    EXPECT_EQ(item->IconKey, "");
    EXPECT_EQ(item->SizeText, "0 KB");
    EXPECT_EQ(item->BinLayerId, "BL-7");
    EXPECT_EQ(item->ColumnText(UploadColumn::BinLayerId), "BL-7");
    EXPECT_EQ(item->ColumnText(UploadColumn::Description), "Urlaub 2026");
    EXPECT_EQ(item->ColumnText(UploadColumn::Password), "geheim");

    item->FilePassword.clear();
    EXPECT_EQ(item->ColumnText(UploadColumn::Password), "-");
    item->SetPublish(true, texts);
    EXPECT_EQ(item->PublishFlag, "1");
    EXPECT_EQ(item->ColumnText(UploadColumn::Publish), "S20");
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

TEST(UploadList, KeepsInsertionOrderAndRefusesADuplicateKey) {
    UploadList list;
    EXPECT_TRUE(list.Append(Row("/b")));
    EXPECT_TRUE(list.Append(Row("/a")));
    EXPECT_TRUE(list.Append(Row("/c")));
    EXPECT_FALSE(list.Append(Row("/a")));
    EXPECT_FALSE(list.Append(nullptr));
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"/b", "/a", "/c"}));
    EXPECT_EQ(list.IndexOf("/c"), 2);
    EXPECT_EQ(list.IndexOf("/missing"), -1);
    EXPECT_EQ(list.Find("/missing"), nullptr);
    // Paths that differ only in letter case are different files here.
    EXPECT_TRUE(list.Append(Row("/A")));
    EXPECT_EQ(list.Count(), 4);
}

TEST(UploadList, RemovingKeepsTheOrderAndFreesTheKey) {
    UploadList list;
    for (const char* path : {"/1", "/2", "/3", "/4", "/5"}) {
        ASSERT_TRUE(list.Append(Row(path)));
    }
    EXPECT_TRUE(list.Remove("/2"));
    EXPECT_TRUE(list.RemoveAt(1)); // "/3"
    EXPECT_FALSE(list.RemoveAt(3));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_FALSE(list.Remove("/2"));
    EXPECT_EQ(Keys(list), (std::vector<std::string>{"/1", "/4", "/5"}));
    EXPECT_EQ(list.IndexOf("/5"), 2);
    EXPECT_FALSE(list.Contains("/3"));
    EXPECT_TRUE(list.Append(Row("/3")));
    EXPECT_EQ(list.At(3)->FilePath, "/3");
}

TEST(UploadList, ARowHeldElsewhereOutlivesItsRemoval) {
    UploadList list;
    ASSERT_TRUE(list.Append(Row("/running")));
    const UploadList::Row held = list.Find("/running");
    ASSERT_TRUE(list.Remove("/running"));
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(list.Append(Row("/other" + std::to_string(i))));
    }
    held->StatusText = "still here";
    EXPECT_EQ(held->FilePath, "/running");
    EXPECT_FALSE(list.Contains("/running"));
}

TEST(UploadList, FirstIdleSkipsFinishedAndFailedRows) {
    UploadList list;
    list.Append(Row("/a", UploadStateWord::Complete));
    list.Append(Row("/b", UploadStateWord::Error));
    EXPECT_EQ(list.FirstIdle(), nullptr);
    list.Append(Row("/c"));
    list.Append(Row("/d"));
    ASSERT_NE(list.FirstIdle(), nullptr);
    EXPECT_EQ(list.FirstIdle()->FilePath, "/c");
}

} // namespace
