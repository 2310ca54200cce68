#include "ui/UploadQueue.h"

#include "platform/modFileSystem.h"
#include "platform/modText.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "upload/clsInfo.h"
#include "upload/clsUpload.h"
#include "upload/modUpload.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr double BytesPerMB = 1048576.0;

// The list commands that need at least one row.
constexpr Command RowCommands[] = {Command::EditRemove,        Command::EditPublish,
                                   Command::EditSetBinLayerID, Command::EditSetDescription,
                                   Command::EditSetPassword,   Command::EditCopyUrls,
                                   Command::EditSelectAll,     Command::UploadStart};

// Every command the window disables while it waits for the service information.
constexpr Command InfoCommands[] = {
    Command::EditAdd,           Command::EditRemove,         Command::EditPublish,
    Command::EditSetBinLayerID, Command::EditSetDescription, Command::EditSetPassword,
    Command::EditCopyUrls,      Command::EditSelectAll,      Command::UploadStart,
    Command::UploadCancel,      Command::ExtrasOptions,      Command::HelpNews,
    Command::HelpAbout};

// 0 when path is a regular file that can be read, else the error number. Non-blocking, so that
// a named pipe does not hang the window.
int ReadError(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno;
    }
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL;
    }
    ::close(fd);
    return error;
}
} // namespace

UploadQueue::UploadQueue(WindowToolkit& toolkit, ConfigSettings& settings,
                         const modLanguage::TextLists& texts, const NumberFormat& format,
                         clsUpload& upload)
    : m_Toolkit(toolkit), m_Settings(settings), m_Texts(texts), m_Format(format), objUpload(upload),
      m_StatusBar(toolkit, format), m_StallLimit(modUpload::DefaultStallLimitSeconds) {
    objUpload.Ready = [this](const std::string& key) { objUpload_Ready(key); };
    objUpload.ItemChanged = [this](const std::string& key) { RefreshRowOf(key); };
}

UploadQueue::~UploadQueue() {
    *m_Alive = false;
    objUpload.Ready = nullptr;
    objUpload.ItemChanged = nullptr;
    if (objInfo) {
        objInfo->Complete = nullptr;
    }
}

int32_t UploadQueue::ShowMessage(int32_t n, int32_t flags,
                                 const std::vector<std::string>& parameters) {
    return modLanguage::ShowMessage(m_Texts, n, flags, parameters,
                                    [this](const std::string& text, int32_t buttons) {
                                        return m_Toolkit.ShowMessage(text, buttons);
                                    });
}

void UploadQueue::SetTimer(bool enabled) {
    m_TimerEnabled = enabled;
    m_Toolkit.SetTimerEnabled(enabled);
}

void UploadQueue::RefreshRowOf(const std::string& key) {
    m_List.NotifyChanged(m_List.IndexOf(key));
}

std::vector<int32_t> UploadQueue::Selection() const {
    // A view hands the rows in click order and may repeat one; positions outside the list are
    // dropped rather than thrown out of the event loop.
    std::vector<int32_t> rows = m_Toolkit.SelectedRows();
    std::erase_if(rows, [this](int32_t row) { return row < 0 || row >= m_List.Count(); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// --- start of the window ------------------------------------------------------------------------

void UploadQueue::SetInitialState() {
    for (Command command : InfoCommands) {
        m_Toolkit.SetMenuEnabled(command, false);
        if (*InfoOf(command).toolbarKey != '\0') {
            m_Toolkit.SetButtonEnabled(command, false);
        }
    }
    m_Toolkit.SetDropEnabled(false);
}

void UploadQueue::RequestInfo(std::unique_ptr<clsInfo> info) {
    objInfo = std::move(info);
    objInfo->Complete = [this](bool success) { objInfo_Complete(success); };
    // The timer is not yet the run's: no run can start before the answer. Its ticks only watch
    // the query for a stall.
    m_Toolkit.SetTimerEnabled(true);
    objInfo->RequestInfo();
}

// --- list commands ------------------------------------------------------------------------------

void UploadQueue::AddFile(const std::string& path) {
    const int64_t size = modFileSystem::GetFileSize(path);
    const int64_t max = m_Service.MaxFileSize;
    if (max < size) {
        ShowMessage(3, modLanguage::MB_WARNING_OK,
                    {modFileSystem::GetFileName(path),
                     FormatInteger(static_cast<double>(max) / BytesPerMB, m_Format)});
        return;
    }
    const std::string name = modFileSystem::GetFileName(path);
    EnsureExtensionIcon(ExtensionKey(path)); // a row without an icon is still added
    if (m_List.Contains(path)) {
        ShowMessage(2, modLanguage::MB_WARNING_OK, {name});
        return;
    }
    // A folder, a missing or an unreadable file would be sent as an empty file and reported
    // as uploaded; it is refused here like any other row that cannot be added. The description
    // names the file: in a batch the message would not say which one it was.
    const int error = path.empty() ? ENOENT : ReadError(path);
    if (error != 0 || !m_List.Append(MakeUploadItem(path, size, m_Settings, m_Texts, m_Format))) {
        ShowMessage(5, modLanguage::MB_ERROR_OK,
                    {std::to_string(error),
                     name + ": " + (error != 0 ? std::strerror(error) : "not added")});
        return;
    }
}

void UploadQueue::AddBatch(const std::vector<std::string>& paths) {
    m_Toolkit.SetRedraw(false);
    for (const auto& path : paths) {
        AddFile(path);
    }
    m_Toolkit.SetRedraw(true);
    m_Toolkit.ClearCurrentRow();
    UpdateListCommands();
}

void UploadQueue::AddFiles() {
    const auto paths = m_Toolkit.ShowOpenDialog(m_Settings.DialogPath());
    if (paths.empty()) {
        return;
    }
    m_Settings.SetDialogPath(modFileSystem::GetFolder(paths.front()));
    AddBatch(paths);
}

void UploadQueue::FilesDropped(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return;
    }
    // A folder dragged from a file manager means the files in it, as "vostrand-upload -r"
    // takes them.
    std::vector<std::string> files;
    for (const auto& path : paths) {
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            const auto inside = modFileSystem::FolderFiles(path);
            files.insert(files.end(), inside.begin(), inside.end());
        } else {
            files.push_back(path);
        }
    }
    AddBatch(files);
}

void UploadQueue::Remove() {
    const auto selected = Selection();
    m_Toolkit.SetRedraw(false);
    // From the back, so that the positions of the rows still to remove stay valid.
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        m_List.RemoveAt(*it);
    }
    m_Toolkit.SetRedraw(true);
    UpdateListCommands();
}

void UploadQueue::SetPublish(bool publish) {
    for (int32_t index : Selection()) {
        m_List.At(index)->SetPublish(publish, m_Texts);
        m_List.NotifyChanged(index, ColumnBit(UploadColumn::Publish));
    }
}

void UploadQueue::PublishYes() {
    SetPublish(true);
}

void UploadQueue::PublishNo() {
    SetPublish(false);
}

void UploadQueue::SetValue(int32_t prompt, std::string UploadItem::*field, UploadColumn column) {
    const auto entered = m_Toolkit.InputBox(m_Texts.GetInputText(prompt), ProgramTitle);
    if (!entered) {
        return;
    }
    // 60 characters, not bytes: a cut inside a UTF-8 sequence would leave an invalid text.
    const std::string value = modText::CutCharacters(*entered, MaxValueLength);
    for (int32_t index : Selection()) {
        (*m_List.At(index)).*field = value;
        m_List.NotifyChanged(index, ColumnBit(column));
    }
}

void UploadQueue::SetBinLayerID() {
    SetValue(1, &UploadItem::BinLayerId, UploadColumn::BinLayerId);
}
void UploadQueue::SetDescription() {
    SetValue(2, &UploadItem::FileDescription, UploadColumn::Description);
}
void UploadQueue::SetPassword() {
    SetValue(3, &UploadItem::FilePassword, UploadColumn::Password);
}

void UploadQueue::CopyUrls() {
    std::string text;
    bool any = false;
    for (int32_t index : Selection()) {
        const auto& row = m_List.At(index);
        if (row->UploadState == UploadStateWord::Complete) {
            if (any) {
                text += "\r\n";
            }
            text += row->DownloadUrl;
            any = true;
        }
    }
    if (any) {
        m_Toolkit.SetClipboardText(text);
    }
}

void UploadQueue::SelectAll() {
    m_Toolkit.SelectAllRows();
}

bool UploadQueue::EnsureExtensionIcon(const std::string& key) {
    if (std::find(m_IconKeys.begin(), m_IconKeys.end(), key) != m_IconKeys.end()) {
        return true;
    }
    if (!m_Toolkit.LoadExtensionIcon(key)) {
        return false;
    }
    m_IconKeys.push_back(key);
    return true;
}

void UploadQueue::UpdateListCommands() {
    const bool rows = !m_List.Empty();
    for (Command command : RowCommands) {
        m_Toolkit.SetMenuEnabled(command, rows);
    }
    m_Toolkit.SetButtonEnabled(Command::EditRemove, rows);
    m_Toolkit.SetButtonEnabled(Command::UploadStart, rows);
    m_StatusBar.ShowFileCount(m_List.Count());
}

// --- queue driver -------------------------------------------------------------------------------

void UploadQueue::Start() {
    const std::string& log = m_Settings.LogFilePath();
    const std::string path = m_Toolkit.ShowSaveDialog(modFileSystem::GetFileName(log),
                                                      modFileSystem::GetFolder(log), "txt");
    if (path.empty()) {
        return;
    }
    StartRun(path);
}

void UploadQueue::StartRun(const std::string& logPath) {
    m_Settings.SetLogFilePath(logPath);
    SetIdleState(false);
    m_Run = {};
    for (int32_t i = 0; i < m_List.Count(); ++i) {
        const auto& row = m_List.At(i);
        if (row->UploadState != UploadStateWord::Complete) {
            row->StatusText = m_Texts.GetStatusText(StatusNumber::Idle);
            row->UploadState = UploadStateWord::Idle;
            row->ErrorText.clear();
            m_Run.BytesTotal += row->FileSize;
            m_List.NotifyChanged(i, ColumnBit(UploadColumn::Status));
        }
    }
    Tick();
    SetTimer(true);
}

void UploadQueue::Tick() {
    if (objInfo) {
        if (m_StallLimit > 0) {
            objInfo->CheckStall(m_StallLimit);
        }
        return;
    }
    if (!objUpload.Active()) {
        const std::string key = FindNextIdleItem();
        if (key.empty()) {
            Cancel();
            return;
        }
        const auto row = m_List.Find(key);
        row->StatusText.clear();
        objUpload.m_Item = row;
        objUpload.StartUpload();
        RefreshRowOf(key);
        return;
    }
    objUpload.UpdateStatus();
    if (m_StallLimit > 0) {
        objUpload.CheckStall(m_StallLimit);
    }
}

void UploadQueue::Cancel() {
    SetTimer(false);
    if (objUpload.Active()) {
        objUpload.CancelUpload();
    }
    SetIdleState(true);
    if (RunEnded) {
        RunEnded();
    }
}

std::string UploadQueue::FindNextIdleItem() const {
    const auto row = m_List.FirstIdle();
    return row ? row->FilePath : std::string();
}

void UploadQueue::SetIdleState(bool idle) {
    const bool rows = !m_List.Empty();
    const struct {
        Command command;
        bool enabled;
    } menus[] = {{Command::UploadStart, idle},
                 {Command::UploadCancel, !idle},
                 {Command::EditAdd, idle},
                 {Command::EditRemove, idle && rows},
                 {Command::EditPublish, idle && rows},
                 {Command::EditSetBinLayerID, rows},
                 {Command::EditSetDescription, rows},
                 {Command::EditSetPassword, rows},
                 {Command::EditCopyUrls, rows},
                 {Command::EditSelectAll, idle && rows}};
    for (const auto& menu : menus) {
        m_Toolkit.SetMenuEnabled(menu.command, menu.enabled);
    }
    m_Toolkit.SetButtonEnabled(Command::EditAdd, idle);
    m_Toolkit.SetButtonEnabled(Command::EditRemove, idle && rows);
    m_Toolkit.SetButtonEnabled(Command::UploadStart, idle && rows);
    m_Toolkit.SetButtonEnabled(Command::UploadCancel, !idle);
    m_Toolkit.SetDropEnabled(idle);
}

void UploadQueue::objUpload_Ready(const std::string& key) {
    // The next row starts as soon as this ending has finished, not on the next tick. Posted:
    // objUpload is still inside its completion and clears m_Active after this handler.
    std::weak_ptr<bool> alive = m_Alive;
    m_Toolkit.Post([this, alive] {
        const auto token = alive.lock();
        if (token && *token && m_TimerEnabled && !objUpload.Active()) {
            Tick();
        }
    });
    if (const auto row = objUpload.m_Item; row && row->FilePath == key) {
        m_Run.BytesSent += row->FileSize;
        m_Run.Completed += row->IsComplete() ? 1 : 0;
        m_Run.Failed += row->IsError() ? 1 : 0;
    }
    if (!m_Settings.RemoveCompleteFiles()) {
        RefreshRowOf(key);
    } else {
        m_List.RemoveAt(m_List.IndexOf(key));
        m_Toolkit.SetButtonEnabled(Command::UploadStart, !m_List.Empty());
        m_StatusBar.ShowFileCount(m_List.Count());
        m_StatusBar.ShowUploadTraffic(m_Settings.StatisticSize());
        m_StatusBar.ShowUploadCount(m_Settings.StatisticCount());
    }
    if (UploadEnded) {
        UploadEnded(key);
    }
}

void UploadQueue::objInfo_Complete(bool success) {
    // Released once its own event has returned; deleting it here would pull the object away
    // from under the handler that raised the event.
    if (objInfo) {
        m_Service = objInfo->Values();
        objInfo->Complete = nullptr;
        std::shared_ptr<clsInfo> released(std::move(objInfo));
        m_Toolkit.Post([released] {});
    }
    if (!m_TimerEnabled) {
        m_Toolkit.SetTimerEnabled(false);
    }
    m_StatusBar.ShowMainText("");
    if (!success) {
        PostMessage(1, modLanguage::MB_WARNING_OK, [] {});
    } else {
        const bool rows = !m_List.Empty();
        m_StatusBar.ShowMaxFileSize(m_Service.MaxFileSize);
        for (Command command : {Command::EditAdd, Command::EditRemove, Command::EditSelectAll,
                                Command::UploadStart, Command::ExtrasOptions, Command::HelpNews}) {
            const bool needsRows = command == Command::EditRemove ||
                                   command == Command::EditSelectAll ||
                                   command == Command::UploadStart;
            m_Toolkit.SetMenuEnabled(command, !needsRows || rows);
        }
        m_Toolkit.SetButtonEnabled(Command::EditAdd, true);
        m_Toolkit.SetButtonEnabled(Command::HelpNews, true);
        m_Toolkit.SetDropEnabled(true);
        if (IsNewerVersion(m_Service.Version, LocalVersion())) {
            PostMessage(6, modLanguage::MB_QUESTION_YESNO,
                        [this] { m_Toolkit.OpenUrl(m_HomePage); });
        }
    }
    m_Toolkit.SetMenuEnabled(Command::HelpAbout, true);
    m_Toolkit.SetButtonEnabled(Command::HelpAbout, true);
    if (InfoComplete) {
        InfoComplete(success);
    }
}

void UploadQueue::PostMessage(int32_t n, int32_t flags, std::function<void()> onYes) {
    // A modal box runs a nested event loop; shown from inside the network event, it would let
    // the objects under that event's frame be released while the box is open.
    std::weak_ptr<bool> alive = m_Alive;
    m_Toolkit.Post([this, alive, n, flags, onYes = std::move(onYes)] {
        const auto token = alive.lock();
        if (!token || !*token) {
            return;
        }
        // The owner may release the queue while the box is open.
        if (ShowMessage(n, flags, {}) == modLanguage::ID_YES && *token) {
            onYes();
        }
    });
}

UploadQueue::RunProgress UploadQueue::Progress() const {
    RunProgress progress = m_Run;
    if (objUpload.Active() && objUpload.m_Item) {
        progress.BytesSent += objUpload.m_Item->BytesSent;
    }
    return progress;
}

// --- window -------------------------------------------------------------------------------------

bool UploadQueue::QueryClose() {
    if (objUpload.Active()) {
        if (ShowMessage(4, modLanguage::MB_QUESTION_YESNO, {}) == modLanguage::ID_YES) {
            return false;
        }
        SetTimer(false);
        objUpload.CancelUpload();
    }
    return true;
}

void UploadQueue::RefreshPanels() {
    m_StatusBar.ShowFileCount(m_List.Count());
    m_StatusBar.ShowMaxFileSize(m_Service.MaxFileSize);
    m_StatusBar.ShowUploadTraffic(m_Settings.StatisticSize());
    m_StatusBar.ShowUploadCount(m_Settings.StatisticCount());
}

std::string UploadQueue::LocalVersion() {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d.%04d", VersionMajor, VersionMinor, VersionRevision);
    return text;
}

bool UploadQueue::IsNewerVersion(const std::string& service, const std::string& local) {
    // Character codes as unsigned bytes, the longer text greater when one starts the other.
    return std::lexicographical_compare(
        local.begin(), local.end(), service.begin(), service.end(), [](char a, char b) {
            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
        });
}
