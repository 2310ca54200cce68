#include "upload/clsInfo.h"
#include "upload/RequestFailure.h"

#include "http/clsHTTP.h"
#include "platform/modText.h"
#include "settings/modConfig.h"

#include <cctype>
#include <limits>

namespace {
using modText::ReplaceAll;
using modText::Trim;
// The leading decimal number of a text ("2.5 MB" gives 2.5); 0 without one.
double LeadingNumber(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
            value += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return negative ? -value : value;
}

int64_t MegabytesToBytes(double megabytes) {
    const double bytes = megabytes * 1048576.0;
    // A negative maximum means nothing; an absurdly large one must not overflow.
    if (!(bytes > 0)) {
        return 0;
    }
    if (bytes >= 9.0e18) {
        return std::numeric_limits<int64_t>::max();
    }
    return static_cast<int64_t>(bytes);
}
} // namespace

clsInfo::clsInfo(const ConfigSettings& settings, SocketFactory socketFactory, const Clock& clock)
    : m_Settings(settings), objHTTP(std::make_unique<clsHTTP>(socketFactory(), clock)) {
    objHTTP->DocumentComplete = [this](int32_t ReturnCode, const std::string&, const std::string&,
                                       const std::string& Data) {
        OnDocumentComplete(ReturnCode, Data);
    };
    objHTTP->DocumentChunkReceived = [this](const std::string&) {
        if (objHTTP->BytesLoad() > modUpload::MaxAnswerLength) {
            GiveUp();
        }
    };
    objHTTP->StateChanged = [this](int32_t State, const std::string& Details) {
        if (State == HttpState::Failed) {
            m_FailureDetails = Details;
        }
    };
}

clsInfo::~clsInfo() {
    // Nothing may reach the owner from the destructor.
    objHTTP->DocumentComplete = nullptr;
    objHTTP->DocumentChunkReceived = nullptr;
    objHTTP->StateChanged = nullptr;
}

void clsInfo::RequestInfo() {
    if (m_Pending) {
        return;
    }
    m_FailureDetails.clear();
    modUpload::PrepareRequest(*objHTTP, m_Settings, m_BaseUrl + "toolconfig.php", 0, 0);
    objHTTP->AddHeader("User-Agent", modUpload::UserAgent, true);
    m_Pending = true;
    m_GivenUp = false;
    m_StalledSeconds = 0;
    m_ErrorText.clear();
    objHTTP->Submit();
}

bool clsInfo::CheckStall(int32_t limitSeconds) {
    if (!m_Pending || !modUpload::RequestStalled(*objHTTP, limitSeconds)) {
        return false;
    }
    m_StalledSeconds = limitSeconds;
    GiveUp();
    return true;
}

void clsInfo::GiveUp() {
    m_GivenUp = true;
    // The owner may release the object inside Complete, which the cancel raises.
    const std::weak_ptr<bool> alive = m_Alive;
    objHTTP->Cancel();
    if (!alive.expired() && m_Pending) {
        // The client had nothing open to cancel, so no answer will ever come.
        OnDocumentComplete(0, {});
    }
}

void clsInfo::ParseAnswer(const std::string& data, modUpload::ServiceValues& values) {
    const std::string text = ReplaceAll(ReplaceAll(data, "\r\n", "\n"), "\r", "\n");
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = modText::Lower(Trim(line.substr(0, equals)));
        const std::string value = Trim(line.substr(equals + 1));
        if (key == "size") {
            values.MaxFileSize = MegabytesToBytes(LeadingNumber(value));
        } else if (key == "version") {
            values.Version = value;
        } else if (key == "news") {
            values.News = ReplaceAll(value, "\\n", "\r\n");
        }
    }
}

void clsInfo::OnDocumentComplete(int32_t returnCode, const std::string& data) {
    if (!m_Pending) {
        return;
    }
    m_Pending = false;
    // Only a whole answer is read: a failed, abandoned or cut-off one may end in the middle of
    // a line, and "size=1" of "size=100" would pass for a value.
    if (returnCode == 200 && !m_GivenUp && objHTTP->BodyComplete()) {
        ParseAnswer(data, m_Values);
    }
    const bool success = m_Values.MaxFileSize > 0;
    if (!success) {
        m_ErrorText = RequestFailure(*objHTTP, m_StalledSeconds);
        if (m_ErrorText.empty()) {
            m_ErrorText = "no upload limit in the answer of " + objHTTP->Action();
        }
    }
    if (Complete) {
        Complete(success);
    }
}
