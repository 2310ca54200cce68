#include "upload/clsInfo.h"

#include "http/clsHTTP.h"
#include "platform/modText.h"
#include "settings/modConfig.h"

#include <algorithm>
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
}

clsInfo::~clsInfo() {
    // Nothing may reach the owner from the destructor.
    objHTTP->DocumentComplete = nullptr;
    objHTTP->StateChanged = nullptr;
}

void clsInfo::RequestInfo() {
    if (m_Pending) {
        return;
    }
    objHTTP->Reset();
    objHTTP->SetAction(modUpload::BaseUrl() + "toolconfig.php");
    objHTTP->SetEncType(0);
    objHTTP->SetFlags(HttpFlags::DecodeChunked | HttpFlags::NoCache);
    objHTTP->SetMethod(0);
    objHTTP->SetProtocol(1);
    if (m_Settings.ProxyUse()) {
        objHTTP->SetProxyHostname(m_Settings.ProxyHostname());
        objHTTP->SetProxyPort(m_Settings.ProxyPort());
        objHTTP->SetProxyUsername(m_Settings.ProxyUsername());
        objHTTP->SetProxyPassword(m_Settings.ProxyPassword());
        objHTTP->SetFlags(objHTTP->Flags() | HttpFlags::UseProxy);
    }
    objHTTP->AddHeader("User-Agent", modUpload::UserAgent, true);
    m_Pending = true;
    objHTTP->Submit();
}

bool clsInfo::CheckStall(int32_t limitSeconds) {
    if (!m_Pending || limitSeconds <= 0 || objHTTP->Timeout() < limitSeconds) {
        return false;
    }
    objHTTP->Cancel();
    if (m_Pending) {
        // The client had nothing open to cancel, so no answer will ever come.
        OnDocumentComplete(0, {});
    }
    return true;
}

void clsInfo::ParseAnswer(const std::string& data) {
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
        std::string key = Trim(line.substr(0, equals));
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string value = Trim(line.substr(equals + 1));
        if (key == "size") {
            modUpload::SetMaxFileSize(MegabytesToBytes(LeadingNumber(value)));
        } else if (key == "version") {
            modUpload::SetVersion(value);
        } else if (key == "news") {
            modUpload::SetNews(ReplaceAll(value, "\\n", "\r\n"));
        }
    }
}

void clsInfo::OnDocumentComplete(int32_t returnCode, const std::string& data) {
    if (!m_Pending) {
        return;
    }
    m_Pending = false;
    if (returnCode == 200) {
        ParseAnswer(data);
    }
    if (Complete) {
        Complete(modUpload::MaxFileSize() > 0);
    }
}
