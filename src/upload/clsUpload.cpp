#include "upload/clsUpload.h"

#include "http/clsHTTP.h"
#include "http/modHTTP.h"
#include "http/modUrl.h"
#include "platform/modFileSystem.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "upload/RequestFailure.h"

#include <cmath>
#include <strings.h>

namespace {
// The markers of the start page's upload form.
constexpr char FormActionMarker[] = R"(<FORM name=uploadform onsubmit="return postIt();" action=")";
constexpr char SessionIdMarker[] = R"(<input type="hidden" name="sessionid" value=")";
constexpr char UploadSessionMarker[] = R"(<input type="hidden" name="UploadSession" value=")";
constexpr char AccessKeyMarker[] = R"(<input type="hidden" name="AccessKey" value=")";
constexpr char MaxFileSizeMarker[] = R"(<input type="hidden" name="maxfilesize" value=")";
constexpr char PhpUploadScriptMarker[] = R"(<input type="hidden" name="phpuploadscript" value=")";
constexpr char ReturnUrlMarker[] = R"(<input type="hidden" name="returnurl" value=")";
constexpr char DownloadLinkMarker[] = R"(<A id=downloadhref href=")";
constexpr char DeleteLinkMarker[] = R"(<A id=filedelhref href=")";

constexpr int32_t MethodGet = 0;
constexpr int32_t MethodPost = 1;
constexpr int32_t EncNone = 0;
constexpr int32_t EncUrlEncoded = 1;
constexpr int32_t EncMultipart = 2;

std::string Cut(const std::string& data, const std::string& left, const std::string& right) {
    return modHTTP::ExtractSubStr(data, left, right);
}

std::string FirstSessionCookie(const std::string& header) {
    return modHTTP::CookieValue(modHTTP::HeaderValue(header, "Set-Cookie:", ""), "PHPSESSID", "");
}

// The last "Set-Cookie: name=" line of the head, up to the next ";".
std::string LoginCookie(const std::string& header, const std::string& name) {
    return modHTTP::ExtractSubStr(header, "Set-Cookie: " + name + "=", ";", true, true);
}

// Browsers resolve a relative form action or redirect target against the page it came from;
// an absolute one is taken exactly as it stands.
std::string ResolveAgainst(const std::string& base, const std::string& reference) {
    if (reference.empty() || strncasecmp(reference.c_str(), "http://", 7) == 0 ||
        strncasecmp(reference.c_str(), "https://", 8) == 0) {
        return reference;
    }
    return modUrl::CombineUrl(base, reference);
}

std::string WholePercent(double percent) {
    return std::to_string(std::llround(percent));
}
} // namespace

clsUpload::clsUpload(ConfigSettings& settings, const modLanguage::TextLists& texts,
                     const NumberFormat& format, SocketFactory socketFactory, const Clock& clock)
    : m_Settings(settings), m_Texts(texts), m_Format(format), m_Clock(clock),
      objHTTP(std::make_unique<clsHTTP>(socketFactory(), clock)) {
    objHTTP->StateChanged = [this](int32_t State, const std::string& Details) {
        // Why a request failed (a refused certificate, a refused connection) is what the user
        // needs to see on the row, not only that it failed.
        if (State == HttpState::Failed && m_Active && !m_Completing) {
            m_FailureDetails = Details;
        }
        OnStateChanged(State);
    };
    objHTTP->DocumentComplete = [this](int32_t ReturnCode, const std::string&,
                                       const std::string& Header, const std::string& Data) {
        OnDocumentComplete(ReturnCode, Header, Data);
    };
    objHTTP->DocumentChunkReceived = [this](const std::string&) {
        if (m_Active && objHTTP->BytesLoad() > modUpload::MaxAnswerLength) {
            GiveUp();
        }
    };
}

clsUpload::~clsUpload() {
    // Nothing may reach the owner from the destructor.
    objHTTP->StateChanged = nullptr;
    objHTTP->DocumentComplete = nullptr;
    objHTTP->DocumentChunkReceived = nullptr;
}

void clsUpload::StartUpload() {
    if (m_Active || !m_Item) {
        return;
    }
    m_Row = m_Item;
    m_Row->Uploading = true;
    m_Active = true;
    m_Canceled = false;
    m_GivenUp = false;
    m_StalledSeconds = 0;
    m_ErrorText.clear();
    m_Row->ErrorText.clear();
    m_DownloadUrl.clear();
    m_DeleteUrl.clear();
    m_FailureDetails.clear();
    m_SessionID.clear();
    m_FormAction.clear();
    m_FormSessionId.clear();
    m_FormUploadSession.clear();
    m_FormAccessKey.clear();
    m_FormMaxFileSize.clear();
    m_FormPhpUploadScript.clear();
    m_FormReturnUrl.clear();
    SendRequest(m_Settings.PremiumUse() ? RequestLogin : RequestUploadPage);
}

void clsUpload::CancelUpload() {
    m_Canceled = true;
    // The owner may release the object inside Ready, which the cancel raises.
    const std::weak_ptr<bool> alive = m_Alive;
    objHTTP->Cancel();
    if (!alive.expired() && m_Active && !m_Completing) {
        // The client had nothing open to cancel, so no answer will ever end this upload.
        Complete();
    }
}

bool clsUpload::CheckStall(int32_t limitSeconds) {
    if (!m_Active || m_Completing || !modUpload::RequestStalled(*objHTTP, limitSeconds)) {
        return false;
    }
    m_StalledSeconds = limitSeconds;
    GiveUp();
    return true;
}

void clsUpload::GiveUp() {
    // Cancelled on the client, not by CancelUpload: the row ends "ERROR", not "IDLE".
    m_GivenUp = true;
    const std::weak_ptr<bool> alive = m_Alive;
    objHTTP->Cancel();
    if (!alive.expired() && m_Active && !m_Completing) {
        Complete();
    }
}

void clsUpload::UpdateStatus() {
    // The index keeps its value after an upload has ended; the finished row keeps its "-".
    if (!m_Active || m_Completing || m_RequestIndex != RequestFile || !m_Row) {
        return;
    }
    const double total =
        static_cast<double>(objHTTP->RequestHeaderLength() + objHTTP->RequestContentLength());
    const double size = static_cast<double>(m_Row->FileSize);
    const double sent = static_cast<double>(objHTTP->BytesSend());
    const double elapsed = objHTTP->RequestTime();

    const double overhead = total - size; // request head and multipart framing
    const double fileSent = sent - overhead;
    double percent = 0;
    double speed = 0;
    double remaining = 0;
    if (size > 0 && fileSent > 0) {
        percent = fileSent * 100 / size;
    }
    if (elapsed > 0) {
        speed = (sent / 1024) / elapsed; // KB/s of the whole request, head included
        if (speed > 0) {
            remaining = ((total - sent) / 1024) / speed;
        }
    }
    if (fileSent <= 0) {
        return;
    }
    m_Row->BytesSent = static_cast<int64_t>(fileSent);
    m_Row->Speed = speed * 1024;
    m_Row->Percent = static_cast<int32_t>(std::stoi(WholePercent(percent)));
    m_Row->ProgressText = WholePercent(percent) + "%";
    m_Row->SentText = FormatSizeKB(static_cast<int64_t>(fileSent), m_Format);
    m_Row->SpeedText = FormatFixed2(speed, m_Format) + " KB/s";
    m_Row->ElapsedText = FormatDuration(elapsed);
    m_Row->RemainingText = FormatDuration(remaining);
    NotifyItem();
    if (TrayTip) {
        TrayTip(m_Row->FileName + " (" + WholePercent(percent) + "%)");
    }
}

void clsUpload::PrepareRequest(int32_t index, const std::string& url, int32_t method,
                               int32_t encType) {
    m_RequestIndex = index;
    modUpload::PrepareRequest(*objHTTP, m_Settings, url, method, encType);
}

void clsUpload::AddCookieHeader() {
    objHTTP->AddHeader("Cookie",
                       "PHPSESSID=" + m_SessionID + "; king_sess_id=" + m_king_sess_id +
                           "; king_uid=" + m_king_uid + "; king_passhash=" + m_king_passhash +
                           "; king_logined=" + m_king_logined +
                           "; king_last_click=" + m_king_last_click,
                       true);
}

void clsUpload::SendRequest(int32_t index) {
    const std::string& base = m_BaseUrl;
    switch (index) {
    case RequestLogin:
        PrepareRequest(index, base + "login.php", MethodPost, EncMultipart);
        objHTTP->AddElement("act", "login", 0, true);
        objHTTP->AddElement("user", m_Settings.PremiumUsername(), 0, true);
        objHTTP->AddElement("pass", m_Settings.PremiumPassword(), 0, true);
        objHTTP->AddElement("login", "Login", 0, true);
        objHTTP->AddHeader("Referer", base, true);
        break;
    case RequestUploadPage:
        PrepareRequest(index, base, MethodGet, EncNone);
        if (!m_SessionID.empty()) {
            AddCookieHeader();
        }
        objHTTP->AddHeader("User-Agent", modUpload::UserAgent, true);
        break;
    case RequestFile:
        // A file that vanished since it was added would go out as an empty part and be
        // reported as a complete upload.
        if (!m_Row || !modFileSystem::FileExists(m_Row->FilePath)) {
            m_ErrorText = "the file no longer exists";
            Complete();
            return;
        }
        PrepareRequest(index, m_FormAction, MethodPost, EncMultipart);
        objHTTP->AddElement("sessionid", m_FormSessionId, 0, true);
        objHTTP->AddElement("UploadSession", m_FormUploadSession, 0, true);
        objHTTP->AddElement("AccessKey", m_FormAccessKey, 0, true);
        objHTTP->AddElement("maxfilesize", m_FormMaxFileSize, 0, true);
        objHTTP->AddElement("phpuploadscript", m_FormPhpUploadScript, 0, true);
        objHTTP->AddElement("returnurl", m_FormReturnUrl, 0, true);
        objHTTP->AddElement("uploadfile_0", m_Row->FilePath, 1, true);
        objHTTP->AddElement("file_referal[0]", m_Row->BinLayerId, 0, true);
        objHTTP->AddElement("file_descr[0]", m_Row->FileDescription, 0, true);
        objHTTP->AddElement("file_password[0]", m_Row->FilePassword, 0, true);
        objHTTP->AddElement("file_search[0]",
                            std::to_string(modHTTP::NumericValue(m_Row->PublishFlag)), 0, true);
        AddCookieHeader();
        objHTTP->AddHeader("User-Agent", modUpload::UserAgent, true);
        break;
    case RequestRedirect:
        PrepareRequest(index, m_FormAction, MethodGet, EncNone);
        AddCookieHeader();
        objHTTP->AddHeader("User-Agent", modUpload::UserAgent, true);
        break;
    case RequestLinks:
        PrepareRequest(index, base + "emaillinks.php", MethodPost, EncUrlEncoded);
        objHTTP->AddElement("UploadSession", m_FormUploadSession, 0, true);
        objHTTP->AddElement("AccessKey", m_FormAccessKey, 0, true);
        objHTTP->AddElement("uploadmode", "1", 0, true);
        objHTTP->AddElement("submitnums", "1", 0, true);
        objHTTP->AddElement("toemail", "", 0, true);
        objHTTP->AddElement("fromemail", "", 0, true);
        AddCookieHeader();
        objHTTP->AddHeader("User-Agent", modUpload::UserAgent, true);
        break;
    default:
        Complete();
        return;
    }
    objHTTP->Submit();
}

std::string clsUpload::StatusWithState(int32_t number, int32_t state) const {
    return m_Texts.GetStatusText(number) + " (" + std::to_string(state) + ")";
}

std::string clsUpload::FileStepStatus(int32_t state) const {
    int32_t number = StatusNumber::OtherState;
    switch (state) {
    case HttpState::Failed:
        number = StatusNumber::UploadError;
        break;
    case HttpState::Cancelled:
        number = StatusNumber::Cancelled;
        break;
    case HttpState::Redirecting:
        number = StatusNumber::Redirecting;
        break;
    case HttpState::Idle:
        number = StatusNumber::Idle;
        break;
    case HttpState::Connecting:
        number = StatusNumber::Connecting;
        break;
    case HttpState::Connected:
        number = StatusNumber::Connected;
        break;
    case HttpState::SendingHeader:
        number = StatusNumber::SendingHeader;
        break;
    case HttpState::SendingBody:
        number = StatusNumber::SendingBody;
        break;
    case HttpState::Sent:
        number = StatusNumber::Sent;
        break;
    case HttpState::ReceivingHeader:
        number = StatusNumber::ReceivingHeader;
        break;
    case HttpState::ReceivingBody:
        number = StatusNumber::ReceivingBody;
        break;
    case HttpState::Complete:
        number = StatusNumber::ReceiveComplete;
        break;
    default:
        break;
    }
    return m_Texts.GetStatusText(number);
}

void clsUpload::OnStateChanged(int32_t state) {
    if (!m_Active || m_Completing || !m_Row) {
        return;
    }
    switch (m_RequestIndex) {
    case RequestLogin:
        SetStatus(StatusWithState(StatusNumber::Login, state));
        break;
    case RequestUploadPage:
        SetStatus(StatusWithState(StatusNumber::UploadPage, state));
        break;
    case RequestFile:
        SetStatus(FileStepStatus(state));
        if (state == HttpState::Sent) {
            UpdateStatus();
        }
        break;
    case RequestRedirect:
        SetStatus(StatusWithState(StatusNumber::Redirect, state));
        break;
    case RequestLinks:
        SetStatus(StatusWithState(StatusNumber::Links, state));
        break;
    default:
        SetStatus({});
        break;
    }
}

void clsUpload::OnDocumentComplete(int32_t returnCode, const std::string& header,
                                   const std::string& data) {
    if (!m_Active || m_Completing) {
        return;
    }
    bool success = false;
    // A page cut off by an early close may still hold a marker whose value ends too soon; only
    // a whole body is read. The head of every answer is whole once it has a status code.
    const bool whole = objHTTP->BodyComplete();
    switch (m_RequestIndex) {
    case RequestLogin:
        success = ReadLoginAnswer(header);
        break;
    case RequestUploadPage:
        success = whole && ReadUploadPage(returnCode, header, data);
        break;
    case RequestFile:
        success = ReadFileAnswer(returnCode, header, whole ? data : std::string());
        break;
    case RequestRedirect:
        success = returnCode == 200;
        break;
    case RequestLinks:
        if (whole) {
            ReadLinks(data);
        }
        break;
    default:
        break;
    }
    // A cancelled or abandoned request ends the upload even when what arrived of its answer
    // passes the rule; otherwise a cancel would let the next request start.
    if (success && !m_Canceled && !m_GivenUp && m_RequestIndex < RequestLinks) {
        SendRequest(m_RequestIndex + 1);
    } else {
        if (m_DownloadUrl.empty() && !m_Canceled) {
            m_ErrorText = FailureCause();
        }
        Complete();
    }
}

std::string clsUpload::FailureCause() const {
    const int32_t accepted = m_RequestIndex == RequestFile ? 302 : 200;
    std::string cause = RequestFailure(*objHTTP, m_StalledSeconds, accepted);
    if (!cause.empty()) {
        return cause;
    }
    // The page came, but without what this step reads from it.
    const std::string& page = objHTTP->Action();
    switch (m_RequestIndex) {
    case RequestLogin:
        return "the premium login was refused by " + page;
    case RequestUploadPage:
        return "no upload form on " + page;
    case RequestFile:
        return "no redirect after the upload to " + page;
    case RequestLinks:
        return "no download link on " + page;
    default:
        return "the request to " + page + " failed";
    }
}

bool clsUpload::ReadLoginAnswer(const std::string& header) {
    m_SessionID = FirstSessionCookie(header);
    m_king_sess_id = LoginCookie(header, "king_sess_id");
    m_king_uid = LoginCookie(header, "king_uid");
    m_king_passhash = LoginCookie(header, "king_passhash");
    m_king_logined = LoginCookie(header, "king_logined");
    m_king_last_click = LoginCookie(header, "king_last_click");
    return !m_SessionID.empty() && !m_king_passhash.empty();
}

bool clsUpload::ReadUploadPage(int32_t returnCode, const std::string& header,
                               const std::string& data) {
    if (returnCode != 200) {
        return false;
    }
    if (m_SessionID.empty()) {
        m_SessionID = FirstSessionCookie(header);
    }
    m_FormAction = ResolveAgainst(m_BaseUrl, Cut(data, FormActionMarker, "\""));
    m_FormSessionId = Cut(data, SessionIdMarker, "\"");
    m_FormUploadSession = Cut(data, UploadSessionMarker, "\"");
    m_FormAccessKey = Cut(data, AccessKeyMarker, "\"");
    m_FormMaxFileSize = Cut(data, MaxFileSizeMarker, "\"");
    m_FormPhpUploadScript = Cut(data, PhpUploadScriptMarker, "\"");
    m_FormReturnUrl = Cut(data, ReturnUrlMarker, "\"");
    return !m_SessionID.empty() && !m_FormAction.empty();
}

bool clsUpload::ReadFileAnswer(int32_t returnCode, const std::string& header,
                               const std::string& data) {
    std::string target;
    if (returnCode == 200) {
        target = Cut(data, "location.href='", "'");
    } else if (returnCode == 302) {
        target = modHTTP::HeaderValue(header, "Location:", "");
    }
    m_FormAction = ResolveAgainst(m_FormAction, target);
    return !m_FormAction.empty();
}

bool clsUpload::ReadLinks(const std::string& data) {
    m_DownloadUrl = Cut(data, DownloadLinkMarker, "\"");
    m_DeleteUrl = Cut(data, DeleteLinkMarker, "\"");
    return !m_DownloadUrl.empty() && !m_DeleteUrl.empty();
}

void clsUpload::Complete() {
    m_Completing = true;
    const std::shared_ptr<UploadItem> item = m_Row;
    if (item) {
        if (!m_DownloadUrl.empty()) {
            item->StatusText = m_Texts.GetStatusText(StatusNumber::UploadComplete);
            item->UploadState = UploadStateWord::Complete;
            m_Settings.SetStatisticCount(m_Settings.StatisticCount() + 1);
            m_Settings.SetStatisticSize(m_Settings.StatisticSize() + item->FileSize);
        } else if (!m_Canceled) {
            item->StatusText = m_Texts.GetStatusText(StatusNumber::UploadError);
            if (!m_FailureDetails.empty()) {
                item->StatusText += ": " + m_FailureDetails;
            }
            item->UploadState = UploadStateWord::Error;
            item->ErrorText = m_ErrorText.empty() ? FailureCause() : m_ErrorText;
        }
        item->Uploading = false;
        item->Percent = -1;
        item->ProgressText = "-";
        item->SentText = "-";
        item->RemainingText = "-";
        item->DownloadUrl = m_DownloadUrl;
    }
    if (TrayTip) {
        TrayTip(m_TrayCaption);
    }
    const std::string key = item ? item->FilePath : std::string();
    modUpload::WriteLogEntry(m_Settings.LogFilePath(), key, item ? item->FileSize : 0,
                             m_DownloadUrl, m_DeleteUrl, m_Texts, m_Format, m_Clock);
    NotifyItem();
    if (Ready) {
        const std::weak_ptr<bool> alive = m_Alive;
        Ready(key);
        if (alive.expired()) {
            return; // the owner released the object
        }
    }
    m_Completing = false;
    m_Active = false;
    m_Row.reset();
}

void clsUpload::SetStatus(const std::string& text) {
    m_Row->StatusText = text;
    NotifyItem();
}

void clsUpload::NotifyItem() {
    if (ItemChanged && m_Row) {
        ItemChanged(m_Row->FilePath);
    }
}
