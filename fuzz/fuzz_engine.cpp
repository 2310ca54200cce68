// The engine's page readers through the scripted socket: the information query, or a whole
// upload (login, start page and form, file post, redirect, links page). Input: an options byte,
// then arrivals as in fuzz_http_response (a length byte and that many bytes; length 0 closes).
// Every request is answered by the arrivals that follow it; the end of the input closes.
#include "Fixed.h"
#include "PlayNetwork.h"
#include "platform/Format.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "upload/UploadItem.h"
#include "upload/clsInfo.h"
#include "upload/clsUpload.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const std::string& UploadFile() {
    static const std::string path = [] {
        std::string folder = "/tmp/vostrand-fuzz-engine-XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr)
            std::abort();
        static const std::string removal = "rm -rf '" + folder + "'";
        std::atexit([] { (void)!std::system(removal.c_str()); });
        const std::string file = folder + "/report.txt";
        std::ofstream(file) << "Hello, Vostrand!\n";
        return file;
    }();
    return path;
}

// Every request is answered by the arrivals after it. Five requests, each with at most five
// redirects, and the links page ends it; a connection through a proxy goes to the proxy.
void Play(FuzzInput& in, testsupport::FakeSocket& net, bool proxy,
          const std::function<bool()>& done) {
    PlayNetwork(in, net, 6 * 6, done,
                [&] { FUZZ_CHECK(!proxy || net.Host().empty() || net.Host() == "proxy"); });
    FUZZ_CHECK(net.SendsWhileNotConnected() == 0);
}

void PlayInfo(FuzzInput& in, const ConfigSettings& settings, bool proxy) {
    std::vector<testsupport::FakeSocket*> made;
    testsupport::FixedClock clock;
    clsInfo info(settings, testsupport::FakeSocketFactory(&made), clock);
    info.SetBaseUrl("http://files.example/");
    int completes = 0;
    bool success = false;
    info.Complete = [&](bool result) {
        ++completes;
        success = result;
    };
    info.RequestInfo();
    Play(in, *made.at(0), proxy, [&] { return completes > 0; });
    FUZZ_CHECK(completes == 1);
    FUZZ_CHECK(!info.Pending());
    FUZZ_CHECK(success == (info.Values().MaxFileSize > 0));
}

void PlayUpload(FuzzInput& in, ConfigSettings& settings, bool proxy) {
    std::vector<testsupport::FakeSocket*> made;
    testsupport::FixedClock clock;
    const modLanguage::TextLists texts = testsupport::GermanTexts();
    const NumberFormat format;
    clsUpload upload(settings, texts, format, testsupport::FakeSocketFactory(&made), clock);
    upload.SetBaseUrl("http://files.example/");
    const std::string& path = UploadFile();
    auto item = MakeUploadItem(path, 17, settings, texts, format);
    upload.m_Item = item;
    std::vector<std::string> ready;
    upload.Ready = [&](const std::string& key) {
        ready.push_back(key);
        FUZZ_CHECK(upload.Active());
    };
    upload.StartUpload();
    Play(in, *made.at(0), proxy, [&] { return !upload.Active(); });

    // One end, in a valid state: complete exactly when a download link was read.
    FUZZ_CHECK(ready == std::vector<std::string>{path});
    const bool complete = item->UploadState == UploadStateWord::Complete;
    FUZZ_CHECK(complete || item->UploadState == UploadStateWord::Error);
    FUZZ_CHECK(complete == !item->DownloadUrl.empty());
    FUZZ_CHECK(!complete || upload.RequestIndex() == clsUpload::RequestLinks);
    FUZZ_CHECK(settings.StatisticCount() == (complete ? 1 : 0));
    FUZZ_CHECK(item->ProgressText == "-" && item->SentText == "-" && item->RemainingText == "-");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    const bool proxy = options & 2;
    ConfigSettings settings;
    settings.SetLogFilePath(""); // no log: it would grow with every run
    settings.SetPremiumUse(options & 1);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("Geheim");
    if (proxy) {
        settings.SetProxyUse(true);
        settings.SetProxyHostname("proxy");
        settings.SetProxyPort(3128);
    }
    if (options & 4)
        PlayInfo(in, settings, proxy);
    else
        PlayUpload(in, settings, proxy);
    return 0;
}
