#pragma once
// One row of the upload queue and the list that holds the rows.
//
// The list, the queue driver and the upload engine share the rows: the list owns them through
// std::shared_ptr, and clsUpload keeps its own shared_ptr to the row it uploads, so removing
// that row from the list (or appending others) never leaves the engine with a dangling row.
// Everything runs on the one event-loop thread; nothing here locks.
#include "platform/Format.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class ConfigSettings;
namespace modLanguage {
class TextLists;
}

// The state words of UploadItem::UploadState. "CANCEL" belongs to the vocabulary but is never
// stored: a cancelled row keeps "IDLE".
namespace UploadStateWord {
inline constexpr char Idle[] = "IDLE";
inline constexpr char Complete[] = "COMPLETE";
inline constexpr char Error[] = "ERROR";
inline constexpr char Cancel[] = "CANCEL";
} // namespace UploadStateWord

// The numbers of the status texts (GetStatusText) the engine and the list show.
namespace StatusNumber {
constexpr int32_t Idle = 1;            // row added, reset at the start of a run, HTTP state 0
constexpr int32_t Connecting = 2;      // HTTP state 1 during the file transfer
constexpr int32_t Connected = 3;       // 2
constexpr int32_t SendingHeader = 4;   // 3
constexpr int32_t SendingBody = 5;     // 4
constexpr int32_t Sent = 6;            // 5
constexpr int32_t ReceivingHeader = 7; // 6
constexpr int32_t ReceivingBody = 8;   // 7
constexpr int32_t ReceiveComplete = 9; // 8
constexpr int32_t Redirecting = 11;    // -1
constexpr int32_t OtherState = 12;     // any other HTTP state
constexpr int32_t UploadComplete = 13; // ended with a download link
constexpr int32_t UploadError = 14;    // ended without a link; HTTP state -3
constexpr int32_t Cancelled = 15;      // HTTP state -2
constexpr int32_t Login = 16;          // prefix during the premium login
constexpr int32_t UploadPage = 17;     // prefix during step 1
constexpr int32_t Links = 18;          // prefix during step 4
constexpr int32_t Redirect = 19;       // prefix during step 3
constexpr int32_t PublishYes = 20;
constexpr int32_t PublishNo = 21;
} // namespace StatusNumber

// The columns of the list, in display order.
enum class UploadColumn : int32_t {
    FileName = 0,
    Publish,
    BinLayerId,
    Description,
    Password,
    Size,
    Status,
    Progress,
    Sent,
    Speed,
    Elapsed,
    Remaining,
    DownloadUrl,
    Count
};

// A set of columns, one bit per UploadColumn.
using ColumnSet = uint32_t;
constexpr ColumnSet ColumnBit(UploadColumn column) {
    return ColumnSet{1} << static_cast<int32_t>(column);
}
inline constexpr ColumnSet AllColumns =
    (ColumnSet{1} << static_cast<int32_t>(UploadColumn::Count)) - 1;

// The row's state word as a number.
enum class RowState { Idle, Complete, Error };

struct UploadItem {
    std::string FilePath;        // the row's key: full local path
    std::string FileName;        // column 0: the part after the last "/"
    std::string IconKey;         // extension key of FilePath (lower case, with dot): the row's icon
    int64_t FileSize = 0;        // bytes, measured when the row was added
    std::string PublishText;     // column 1: Status(20) or Status(21)
    std::string PublishFlag;     // "1" or "0"
    std::string BinLayerId;      // column 2 shows it, or "-" when empty
    std::string FileDescription; // column 3 likewise
    std::string FilePassword;    // column 4 likewise, in clear
    std::string SizeText;        // column 5: FormatSizeKB of FileSize
    std::string StatusText;      // column 6
    std::string UploadState;     // "IDLE", "COMPLETE" or "ERROR"
    std::string ProgressText;    // column 7: "-" or "42%"
    std::string SentText;        // column 8: "-" or FormatSizeKB of the file bytes sent
    std::string SpeedText;       // column 9: "-" or "244,38 KB/s"
    std::string ElapsedText;     // column 10: "-" or FormatDuration
    std::string RemainingText;   // column 11: "-" or FormatDuration
    std::string DownloadUrl;     // column 12: "-" until the upload ends, then the link or ""
    std::string ErrorText;       // why the row ended "ERROR", in plain words; "" otherwise

    // Raw values beside the texts, for views that draw rather than print them.
    int64_t BytesSent = 0;  // file bytes sent of FileSize
    double Speed = 0;       // bytes per second of the whole request
    int32_t Percent = -1;   // whole percent of the file sent; -1 while there is none to show
    bool Uploading = false; // the row the engine is working on

    // The text the list shows in a column (values of columns 2 to 4 as "-" when empty).
    std::string ColumnText(UploadColumn column) const;

    bool IsIdle() const { return UploadState == UploadStateWord::Idle; }
    bool IsComplete() const { return UploadState == UploadStateWord::Complete; }
    bool IsError() const { return UploadState == UploadStateWord::Error; }
    RowState State() const {
        return IsComplete() ? RowState::Complete : IsError() ? RowState::Error : RowState::Idle;
    }

    // Publish yes or no: the flag and its localised text together.
    void SetPublish(bool publish, const modLanguage::TextLists& texts);
    // Columns 7 to 12 back to "-", the raw progress values with them.
    void ClearProgress();
};

// A new row the way the list adds one: "IDLE" with Status(1), publish no (Status(21), "0"), the
// three option defaults from the settings, the size text, "-" in columns 7 to 12.
std::shared_ptr<UploadItem> MakeUploadItem(const std::string& path, int64_t size,
                                           const ConfigSettings& settings,
                                           const modLanguage::TextLists& texts,
                                           const NumberFormat& format);

// The extension key of a path: its extension with the dot, lower-cased; "" without one.
std::string ExtensionKey(const std::string& path);

// The rows in insertion order, unique by key (FilePath; compared exactly, as Linux file systems
// do). Indices count from 0. A row's FilePath must not change while it is in the list.
//
// Every change is announced around it, so a view can follow without a copy of its own: the
// AboutTo… event before the list changes, the other one after. Whoever changes a row's fields
// calls NotifyChanged. Handlers must not change the list.
class UploadList {
public:
    using Row = std::shared_ptr<UploadItem>;

    // Appends at the end; false (and nothing changes) when the key is present or row is null.
    bool Append(Row row);
    // Removes the row with that key; false when there is none.
    bool Remove(const std::string& key);
    // Removes the row at index; false when the index is out of range.
    bool RemoveAt(int32_t index);
    void Clear();

    // The row with that key, or null.
    Row Find(const std::string& key) const;
    bool Contains(const std::string& key) const { return m_Index.count(key) != 0; }
    // The position of the row with that key, or -1.
    int32_t IndexOf(const std::string& key) const;
    const Row& At(int32_t index) const { return m_Rows.at(static_cast<std::size_t>(index)); }
    int32_t Count() const { return static_cast<int32_t>(m_Rows.size()); }
    bool Empty() const { return m_Rows.empty(); }

    // The first row in list order whose state word is "IDLE", or null.
    Row FirstIdle() const;

    std::vector<Row>::const_iterator begin() const { return m_Rows.begin(); }
    std::vector<Row>::const_iterator end() const { return m_Rows.end(); }

    // Raises Changed for the row at index (ignored when out of range).
    void NotifyChanged(int32_t index, ColumnSet columns = AllColumns) const;

    std::function<void(int32_t index)> AboutToInsert;
    std::function<void(int32_t index)> Inserted;
    std::function<void(int32_t index)> AboutToRemove;
    std::function<void(int32_t index)> Removed;
    std::function<void()> AboutToClear;
    std::function<void()> Cleared;
    std::function<void(int32_t index, ColumnSet columns)> Changed;

private:
    std::vector<Row> m_Rows;
    std::unordered_map<std::string, Row> m_Index;
};
