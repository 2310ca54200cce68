#pragma once
// UploadQueue: everything the main window decides about its upload list, without a widget.
// The list commands (add, drop, remove, publish, the three values, copy links, select all), the
// queue driver (start, the one-second tick, cancel, the end of an upload, the answer of the
// service information query), the command availability and the status bar panels.
//
// Owner: the main window (or vostrand-upload). It hands in the toolkit, the settings, the text
// lists and the upload object, all of which outlive the queue; the queue owns the list, the
// status bar and, while it is awaited, the information query. It sets objUpload's Ready event.
// The toolkit's timer ticks arrive as Tick(); toolkit answers (boxes, dialogs) come back
// synchronously.
//
// Events (raised as the last thing of the handler that raises them):
//   InfoComplete(success)  after the answer of the information query was handled;
//   UploadEnded(key)       after the end of one upload was handled (objUpload's Ready); the
//                          engine is still inside its completion: read, start nothing;
//   RunEnded()             after a run ended (no waiting row left, or Cancel).
#include "Version.h"
#include "platform/Format.h"
#include "ui/StatusBar.h"
#include "ui/WindowToolkit.h"
#include "upload/UploadItem.h"
#include "upload/modUpload.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ConfigSettings;
class clsUpload;
class clsInfo;
namespace modLanguage {
class TextLists;
}

class UploadQueue {
public:
    // The program's own version, compared with the one the service announces.
    static constexpr int32_t VersionMajor = VOSTRAND_VERSION_MAJOR;
    static constexpr int32_t VersionMinor = VOSTRAND_VERSION_MINOR;
    static constexpr int32_t VersionRevision = VOSTRAND_VERSION_REVISION;
    static constexpr const char* ProgramTitle = modUpload::ProgramTitle;
    static constexpr size_t MaxValueLength = 60;

    UploadQueue(WindowToolkit& toolkit, ConfigSettings& settings,
                const modLanguage::TextLists& texts, const NumberFormat& format, clsUpload& upload);
    ~UploadQueue();
    UploadQueue(const UploadQueue&) = delete;
    UploadQueue& operator=(const UploadQueue&) = delete;

    UploadList& List() { return m_List; }
    const UploadList& List() const { return m_List; }
    StatusBar& Status() { return m_StatusBar; }

    // What the information query answered (MaxFileSize 0 until then). Set directly only where
    // no query runs.
    const modUpload::ServiceValues& Service() const { return m_Service; }
    void SetService(const modUpload::ServiceValues& values) { m_Service = values; }

    // The current or last run: the bytes of the rows it started with that were not yet
    // "COMPLETE", how many of them are done (the running row's sent bytes included), and how
    // many ended "COMPLETE" and "ERROR".
    struct RunProgress {
        int64_t BytesSent = 0;
        int64_t BytesTotal = 0;
        int32_t Completed = 0;
        int32_t Failed = 0;
    };
    RunProgress Progress() const;

    // The service's home page, opened when a newer version is announced.
    void SetHomePage(const std::string& url) { m_HomePage = url; }
    // Seconds without activity after which a request is given up (0: never).
    void SetStallLimit(int32_t seconds) { m_StallLimit = seconds; }

    // --- start of the window ----------------------------------------------------------------
    // Every command off, as when the window has just opened.
    void SetInitialState();
    // Sends the query and keeps the object until its answer; the timer runs meanwhile so that a
    // silent service is given up after the stall limit.
    void RequestInfo(std::unique_ptr<clsInfo> info);
    bool InfoPending() const { return objInfo != nullptr; }

    // --- list commands ----------------------------------------------------------------------
    void AddFile(const std::string& path);
    void AddFiles(); // mnuEditAdd, "add"
    // Files dropped on the list; a folder adds the files in it and its subfolders.
    void FilesDropped(const std::vector<std::string>& paths);
    void Remove(); // mnuEditRemove, "remove"
    void PublishYes();
    void PublishNo();
    void SetBinLayerID();
    void SetDescription();
    void SetPassword();
    void CopyUrls();
    void SelectAll();
    bool EnsureExtensionIcon(const std::string& key);
    void UpdateListCommands();

    // --- queue driver -----------------------------------------------------------------------
    void Start();                              // mnuUploadStart, "upload": asks for the log
    void StartRun(const std::string& logPath); // Start after the log file was chosen
    void Tick();
    void Cancel(); // mnuUploadCancel, "cancel", and the end of a run
    std::string FindNextIdleItem() const;
    void SetIdleState(bool idle);
    bool RunInProgress() const { return m_TimerEnabled; }
    void objUpload_Ready(const std::string& key);
    void objInfo_Complete(bool success);

    // --- window -----------------------------------------------------------------------------
    // The close request: false when the window must stay open.
    bool QueryClose();
    // The four counter panels with their current values (after the language was applied).
    void RefreshPanels();

    // "1.00.0009"
    static std::string LocalVersion();
    // Ordinal comparison: character codes from the left; a text that starts the other is less.
    static bool IsNewerVersion(const std::string& service, const std::string& local);

    std::function<void(bool success)> InfoComplete;
    std::function<void(const std::string& key)> UploadEnded;
    std::function<void()> RunEnded;

private:
    int32_t ShowMessage(int32_t n, int32_t flags, const std::vector<std::string>& parameters);
    // Message n shown after the current event has returned; onYes runs when it is answered Yes.
    void PostMessage(int32_t n, int32_t flags, std::function<void()> onYes);
    // The selected rows, ascending, unique and inside the list.
    std::vector<int32_t> Selection() const;
    void SetPublish(bool publish);
    void SetValue(int32_t prompt, std::string UploadItem::*field, UploadColumn column);
    void AddBatch(const std::vector<std::string>& paths);
    void SetTimer(bool enabled);
    void RefreshRowOf(const std::string& key);

    WindowToolkit& m_Toolkit;
    ConfigSettings& m_Settings;
    const modLanguage::TextLists& m_Texts;
    NumberFormat m_Format;
    clsUpload& objUpload;
    std::unique_ptr<clsInfo> objInfo; // the query, until its answer
    UploadList m_List;
    StatusBar m_StatusBar;
    modUpload::ServiceValues m_Service;
    RunProgress m_Run;
    std::vector<std::string> m_IconKeys; // the keys imgLvwMain holds
    std::string m_HomePage;
    int32_t m_StallLimit;
    bool m_TimerEnabled = false;
    // Work posted to the event loop checks this, so it never runs after the queue is gone.
    std::shared_ptr<bool> m_Alive = std::make_shared<bool>(true);
};
