#pragma once
// clsUpload: one upload of one file through the service's web pages.
//
// The owner (the queue driver) sets m_Item to a row, calls StartUpload, calls UpdateStatus and
// CheckStall once a second while Active() is true, calls CancelUpload on the user's cancel, and
// handles Ready. The sequence: the premium login ("login.php", when PremiumUse is on), step 1
// (GET of the start page: session cookie and upload form), step 2 (multipart POST of the file),
// step 3 (GET of the redirect target) and step 4 (POST of "emaillinks.php": the links). Each
// request is one exchange on the owned clsHTTP; the next one starts from inside the previous
// one's DocumentComplete.
//
// Every upload that StartUpload begins ends through the completion, exactly once: the row
// becomes "COMPLETE" or "ERROR" with the cause in its ErrorText (a cancelled row keeps "IDLE"),
// the statistics grow on success,
// a log entry is written to the settings' LogFilePath, Ready is raised with the row's key, and
// only then Active() becomes false, so the owner never starts the next row inside Ready.
// Nothing is thrown; failures show in the row and the log. An answer longer than
// modUpload::MaxAnswerLength is given up like a stalled one.
//
// The owner may remove the row, change m_Item or release the object inside Ready: nothing here
// touches the object after it. ItemChanged runs inside the HTTP client's handlers: it must not
// call into this object.
#include "http/Socket.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "upload/UploadItem.h"
#include "upload/modUpload.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class clsHTTP;
class ConfigSettings;
namespace modLanguage {
class TextLists;
}

class clsUpload {
public:
    // The numbers of m_RequestIndex.
    static constexpr int32_t RequestLogin = 1;
    static constexpr int32_t RequestUploadPage = 2;
    static constexpr int32_t RequestFile = 3;
    static constexpr int32_t RequestRedirect = 4;
    static constexpr int32_t RequestLinks = 5;

    // settings: the premium and proxy options, LogFilePath, and the statistics it adds to.
    // texts and format: the status texts, log labels and number patterns. socketFactory makes
    // the HTTP client's socket. All of them must outlive the object.
    clsUpload(ConfigSettings& settings, const modLanguage::TextLists& texts,
              const NumberFormat& format, SocketFactory socketFactory,
              const Clock& clock = Clock::System());
    ~clsUpload();
    clsUpload(const clsUpload&) = delete;
    clsUpload& operator=(const clsUpload&) = delete;

    // The row to upload; set by the owner before StartUpload. The upload holds its own reference
    // to the row it started with, so removing that row from the list leaves nothing dangling.
    std::shared_ptr<UploadItem> m_Item;

    // Begins the upload of m_Item and returns at once. Does nothing while Active() is true or
    // when m_Item is null.
    void StartUpload();
    // Stops the running upload; the row keeps "IDLE" and Ready follows (from inside this call).
    void CancelUpload();
    // Refreshes the progress columns of the row and the tray tip from the HTTP client's counters;
    // only during the file transfer (request index 3), otherwise it returns at once.
    void UpdateStatus();
    // Gives up the running request when it has been silent for limitSeconds or more, or its
    // answer is beyond modUpload::MaxAnswerLength: the upload ends "ERROR" with Status(14) and a
    // log entry, like any failed request. True when it gave up.
    bool CheckStall(int32_t limitSeconds = modUpload::DefaultStallLimitSeconds);

    // --- read-only members --------------------------------------------------------------------
    bool Active() const { return m_Active; }
    bool Canceled() const { return m_Canceled; }
    int32_t RequestIndex() const { return m_RequestIndex; }
    const std::string& SessionID() const { return m_SessionID; }
    const std::string& FormAction() const { return m_FormAction; }
    const std::string& FormSessionId() const { return m_FormSessionId; }
    const std::string& FormUploadSession() const { return m_FormUploadSession; }
    const std::string& FormAccessKey() const { return m_FormAccessKey; }
    const std::string& FormMaxFileSize() const { return m_FormMaxFileSize; }
    const std::string& FormPhpUploadScript() const { return m_FormPhpUploadScript; }
    const std::string& FormReturnUrl() const { return m_FormReturnUrl; }
    const std::string& king_sess_id() const { return m_king_sess_id; }
    const std::string& king_uid() const { return m_king_uid; }
    const std::string& king_passhash() const { return m_king_passhash; }
    const std::string& king_logined() const { return m_king_logined; }
    const std::string& king_last_click() const { return m_king_last_click; }
    // The delete link of the last upload that ended (empty when it read none); the row keeps no
    // delete link.
    const std::string& LastDeleteUrl() const { return m_DeleteUrl; }

    // The root of the service's web site, ending in "/"; modUpload::DefaultBaseUrl until set.
    const std::string& BaseUrl() const { return m_BaseUrl; }
    void SetBaseUrl(const std::string& url) { m_BaseUrl = modUpload::NormalizeBaseUrl(url); }

    // The text the tray tip goes back to when an upload ends (the main window's caption).
    const std::string& TrayCaption() const { return m_TrayCaption; }
    void SetTrayCaption(const std::string& caption) { m_TrayCaption = caption; }

    // --- events -------------------------------------------------------------------------------
    // Once per upload, at the end of the completion, with the row's FilePath. Active() is still
    // true inside it.
    std::function<void(const std::string& Key)> Ready;
    // The tray tip text: "report.pdf (42%)" while the file is sent, TrayCaption() at the end.
    std::function<void(const std::string& Text)> TrayTip;
    // The engine has written to the row with this key (status, progress or its end); the list
    // view refreshes it. It may run inside the HTTP client's handlers: it must not call into
    // this object.
    std::function<void(const std::string& Key)> ItemChanged;

private:
    void SendRequest(int32_t index);
    void PrepareRequest(int32_t index, const std::string& url, int32_t method, int32_t encType);
    void AddCookieHeader();
    void OnStateChanged(int32_t state);
    void OnDocumentComplete(int32_t returnCode, const std::string& header, const std::string& data);
    bool ReadLoginAnswer(const std::string& header);
    bool ReadUploadPage(int32_t returnCode, const std::string& header, const std::string& data);
    bool ReadFileAnswer(int32_t returnCode, const std::string& header, const std::string& data);
    bool ReadLinks(const std::string& data);
    void GiveUp();
    // Why the current request ended the upload, for the row's ErrorText.
    std::string FailureCause() const;
    void Complete();
    void SetStatus(const std::string& text);
    void NotifyItem();
    std::string StatusWithState(int32_t number, int32_t state) const;
    std::string FileStepStatus(int32_t state) const;

    ConfigSettings& m_Settings;
    const modLanguage::TextLists& m_Texts;
    const NumberFormat& m_Format;
    const Clock& m_Clock;
    std::string m_TrayCaption = modUpload::ProgramTitle;
    std::string m_BaseUrl = modUpload::DefaultBaseUrl;

    bool m_Active = false;
    bool m_Canceled = false;
    bool m_Completing = false;
    bool m_GivenUp = false;       // stalled or oversized answer: ends "ERROR"
    int32_t m_StalledSeconds = 0; // the stall limit that gave the request up
    std::string m_ErrorText;      // the cause the row gets when it ends "ERROR"
    int32_t m_RequestIndex = 0;
    std::string m_SessionID;
    std::string m_FormAction;
    std::string m_FormSessionId;
    std::string m_FormUploadSession;
    std::string m_FormAccessKey;
    std::string m_FormMaxFileSize;
    std::string m_FormPhpUploadScript;
    std::string m_FormReturnUrl;
    std::string m_king_sess_id;
    std::string m_king_uid;
    std::string m_king_passhash;
    std::string m_king_logined;
    std::string m_king_last_click;
    std::string m_DownloadUrl;
    std::string m_FailureDetails; // the Details of the last failed request of this upload
    std::string m_DeleteUrl;

    // The row this upload started with: the engine finishes that row even when the owner sets
    // m_Item to another one meanwhile, and it stays alive after leaving the list.
    std::shared_ptr<UploadItem> m_Row;

    std::unique_ptr<clsHTTP> objHTTP;
    std::shared_ptr<bool> m_Alive = std::make_shared<bool>(true);
};
