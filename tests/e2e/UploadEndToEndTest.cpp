// Whole uploads through the real Qt socket against vostrand-service (and tinyproxy) started by
// the test; every file is downloaded back with curl and compared byte for byte.
#include "http/modHTTP.h"
#include "platform/qt/QtSocket.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "support/ChildProcess.h"
#include "support/ServiceProcess.h"
#include "support/TempDir.h"
#include "support/TestPki.h"
#include "support/Tinyproxy.h"
#include "upload/clsInfo.h"
#include "upload/clsUpload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <sstream>

using testsupport::ChildProcess;
using testsupport::FileSha256;
using testsupport::ReadFile;
using testsupport::ServiceProcess;
using testsupport::Sha256;
using testsupport::TempDir;
using testsupport::TestPki;

namespace {

constexpr int TimeoutMs = 60000;

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "test_e2e";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        new QCoreApplication(argc, argv); // lives for the whole test program
    }
}

// Turns the event loop until done() holds or the time is up; done() is checked after every turn.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = TimeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The service's record of its stored files: the "add" lines of its index, one map per file.
std::vector<std::map<std::string, std::string>> StoredFiles(const ServiceProcess& service) {
    std::vector<std::map<std::string, std::string>> files;
    std::istringstream index(ReadFile(service.Storage() + "/index.log"));
    std::string line;
    while (std::getline(index, line)) {
        std::istringstream fields(line);
        std::string field;
        std::getline(fields, field, '\t');
        if (field != "add") {
            continue;
        }
        std::map<std::string, std::string> record;
        while (std::getline(fields, field, '\t')) {
            const auto equals = field.find('=');
            record[field.substr(0, equals)] = PercentDecode(field.substr(equals + 1));
        }
        files.push_back(record);
    }
    return files;
}

struct Download {
    std::string status; // the HTTP status code as curl prints it
    std::string body;
};

// GET with curl into a file (POST with an empty form when post); the password, when given, goes
// into the query; an https URL is checked against caFile.
Download Fetch(const TempDir& dir, const std::string& url, const std::string& password = {},
               const std::string& caFile = {}, bool post = false) {
    static int counter = 0;
    const std::string out = dir.FilePath("download-" + std::to_string(++counter));
    std::vector<std::string> arguments = {"-sS", "-o", out, "-w", "%{http_code}\n"};
    if (!caFile.empty()) {
        arguments.insert(arguments.end(), {"--cacert", caFile});
    }
    if (!password.empty()) {
        arguments.insert(arguments.end(), {"-G", "--data-urlencode", "password=" + password});
    }
    if (post) {
        arguments.insert(arguments.end(), {"-d", ""});
    }
    arguments.push_back(url);
    ChildProcess curl;
    if (!curl.Start("/usr/bin/curl", arguments)) {
        return {"no curl", {}};
    }
    const auto line = curl.ReadLine(TimeoutMs);
    curl.Wait(TimeoutMs);
    return {line.value_or("no answer"), ReadFile(out)};
}

class UploadEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    UploadEndToEnd() {
        modLanguage::LoadTextLists(texts, std::string(VOSTRAND_BIN_DIR) + "/language/Deutsch.ini");
        format.group = ".";
        format.decimal = ",";
        settings.SetLogFilePath(dir.FilePath("upload.log"));
    }

    // Starts the service and points the engine at it; https is checked against the system's
    // authorities plus the certificates of caFile.
    bool StartService(const std::vector<std::string>& arguments = {},
                      const std::string& caFile = {}) {
        service = std::make_unique<ServiceProcess>(arguments);
        if (!service->Ok()) {
            return false;
        }
        QList<QSslCertificate> authorities;
        std::string error;
        if (!caFile.empty() && !ReadCaFile(caFile, authorities, error)) {
            return false;
        }
        sockets = QtSocketFactory(authorities);
        upload = std::make_unique<clsUpload>(settings, texts, format, sockets);
        upload->SetBaseUrl(service->BaseUrl());
        upload->Ready = [this](const std::string& key) { readyKeys.push_back(key); };
        return true;
    }

    std::shared_ptr<UploadItem> AddRow(const std::string& name, const std::string& content) {
        const std::string path = dir.WriteFile(name, content);
        auto item =
            MakeUploadItem(path, static_cast<int64_t>(content.size()), settings, texts, format);
        upload->m_Item = item;
        return item;
    }

    // Runs one upload to its end, with the owner's once-a-second progress refresh.
    bool Upload(const std::shared_ptr<UploadItem>& item) {
        const std::size_t before = readyKeys.size();
        upload->m_Item = item;
        upload->StartUpload();
        const bool ended = RunUntil([&] {
            if (upload->Active()) {
                upload->UpdateStatus();
            }
            return readyKeys.size() > before && !upload->Active();
        });
        return ended && readyKeys.back() == item->FilePath;
    }

    // The information query against the service's base URL.
    std::optional<bool> Query() {
        clsInfo info(settings, sockets);
        info.SetBaseUrl(service->BaseUrl());
        std::optional<bool> result;
        info.Complete = [&](bool success) { result = success; };
        info.RequestInfo();
        RunUntil([&] { return result.has_value(); });
        serviceValues = info.Values();
        return result;
    }

    std::string Status(int32_t n) const { return texts.GetStatusText(n); }

    modUpload::ServiceValues serviceValues; // of the last Query

    TempDir dir;
    ConfigSettings settings;
    modLanguage::TextLists texts;
    NumberFormat format;
    std::unique_ptr<ServiceProcess> service;
    SocketFactory sockets = QtSocketFactory();
    std::unique_ptr<clsUpload> upload;
    std::vector<std::string> readyKeys;
};

TEST_F(UploadEndToEnd, AnonymousUploadComesBackByteForByte) {
    ASSERT_TRUE(StartService()) << service->Output();
    const std::string content = ReadFile(dir.WriteRandomFile("source.bin", 300000, 7));
    ASSERT_EQ(content.size(), 300000u);
    auto item = AddRow("daten.bin", content);
    ASSERT_TRUE(Upload(item));
    EXPECT_EQ(item->UploadState, "COMPLETE");
    EXPECT_EQ(item->StatusText, Status(13));
    EXPECT_EQ(item->ProgressText, "-");
    EXPECT_NE(item->SpeedText, "-"); // the last progress stays
    ASSERT_EQ(item->DownloadUrl.rfind(service->BaseUrl(), 0), 0u) << item->DownloadUrl;
    EXPECT_FALSE(upload->LastDeleteUrl().empty());
    EXPECT_EQ(settings.StatisticCount(), 1);
    EXPECT_EQ(settings.StatisticSize(), 300000);

    const Download back = Fetch(dir, item->DownloadUrl);
    EXPECT_EQ(back.status, "200");
    EXPECT_TRUE(back.body == content) << "downloaded " << back.body.size() << " bytes";

    const std::string log = ReadFile(settings.LogFilePath());
    EXPECT_NE(log.find(": daten.bin\r\n" + texts.GetLogFileText(3) + ": 300.000 Byte\r\n" +
                       texts.GetLogFileText(4) + ": " + item->DownloadUrl + "\r\n" +
                       texts.GetLogFileText(5) + ": " + upload->LastDeleteUrl() + "\r\n\r\n"),
              std::string::npos)
        << log;

    // The delete link asks first; its button's POST deletes, and the file is gone afterwards.
    EXPECT_EQ(Fetch(dir, upload->LastDeleteUrl()).status, "200");
    EXPECT_EQ(Fetch(dir, item->DownloadUrl).status, "200");
    EXPECT_EQ(Fetch(dir, upload->LastDeleteUrl(), {}, {}, true).status, "200");
    EXPECT_EQ(Fetch(dir, item->DownloadUrl).status, "404");
}

TEST_F(UploadEndToEnd, OptionsArriveAtTheService) {
    ASSERT_TRUE(StartService()) << service->Output();
    auto item = AddRow("bericht.txt", "vertraulich\n");
    item->SetPublish(true, texts);
    item->BinLayerId = "BL-4711";
    item->FileDescription = "Quartal & Jahr: Größe 1";
    item->FilePassword = "s3 cr&t";
    ASSERT_TRUE(Upload(item));
    ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText;

    const std::map<std::string, std::string> expected = {
        {"name", "bericht.txt"}, {"search", "1"},
        {"referal", "BL-4711"},  {"descr", "Quartal & Jahr: Größe 1"},
        {"password", "s3 cr&t"}, {"user", ""}};
    auto stored = StoredFiles(*service).at(0);
    std::erase_if(stored, [&](const auto& field) { return expected.count(field.first) == 0; });
    EXPECT_EQ(stored, expected);

    EXPECT_EQ(Fetch(dir, item->DownloadUrl).status, "403");
    const Download back = Fetch(dir, item->DownloadUrl, "s3 cr&t");
    EXPECT_EQ(back.status, "200");
    EXPECT_EQ(back.body, "vertraulich\n");
}

TEST_F(UploadEndToEnd, PremiumUploadIsStoredForTheAccount) {
    ASSERT_TRUE(StartService({"--premium", "anna:Geheim 42"})) << service->Output();
    settings.SetPremiumUse(true);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("Geheim 42");
    auto item = AddRow("premium.txt", "nur für Anna");
    ASSERT_TRUE(Upload(item));
    ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText;
    EXPECT_FALSE(upload->king_passhash().empty());
    const auto stored = StoredFiles(*service);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].at("user"), "anna");
    EXPECT_EQ(Fetch(dir, item->DownloadUrl).body, "nur für Anna");

    // A wrong password gives no passhash: the upload ends before any file is sent.
    settings.SetPremiumPassword("falsch");
    auto second = AddRow("second.txt", "x");
    ASSERT_TRUE(Upload(second));
    EXPECT_EQ(second->UploadState, "ERROR");
    EXPECT_EQ(second->StatusText, Status(14));
    EXPECT_EQ(StoredFiles(*service).size(), 1u);
}

TEST_F(UploadEndToEnd, ScriptAnswerToTheFilePost) {
    ASSERT_TRUE(StartService({"--upload-answer", "script"})) << service->Output();
    auto item = AddRow("script.txt", "via location.href");
    ASSERT_TRUE(Upload(item));
    ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText;
    EXPECT_EQ(Fetch(dir, item->DownloadUrl).body, "via location.href");
}

TEST_F(UploadEndToEnd, AnEmptyFileAndANameWithSpacesQuotesAndNonAsciiLetters) {
    ASSERT_TRUE(StartService()) << service->Output();
    auto empty = AddRow("leer.txt", "");
    ASSERT_TRUE(Upload(empty));
    ASSERT_EQ(empty->UploadState, "COMPLETE") << empty->StatusText;
    const Download back = Fetch(dir, empty->DownloadUrl);
    EXPECT_EQ(back.status + "/" + back.body, "200/");
    EXPECT_NE(ReadFile(settings.LogFilePath()).find(": 0 Byte\r\n"), std::string::npos);

    const std::string name = "Bericht \"Q4\" – Größe & Maß.txt";
    auto item = AddRow(name, "inhalt");
    ASSERT_TRUE(Upload(item));
    ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText;
    EXPECT_EQ(Fetch(dir, item->DownloadUrl).body, "inhalt");
    // Quotes travel as %22 inside the quoted file name, the way browsers send them.
    const std::string stored = StoredFiles(*service).at(1).at("name");
    EXPECT_TRUE(stored == name || stored == "Bericht %22Q4%22 – Größe & Maß.txt") << stored;
    EXPECT_NE(ReadFile(settings.LogFilePath()).find(": " + name + "\r\n"), std::string::npos);
}

TEST_F(UploadEndToEnd, CancelDuringTheFileTransfer) {
    ASSERT_TRUE(StartService()) << service->Output();
    const std::string path = dir.WriteRandomFile("gross.bin", 64 * 1024 * 1024);
    auto item = MakeUploadItem(path, 64 * 1024 * 1024, settings, texts, format);
    upload->m_Item = item;
    // Cancelled on the loop's next turn after the body has begun to go out.
    bool cancelled = false;
    upload->ItemChanged = [&](const std::string&) {
        if (!cancelled && upload->RequestIndex() == clsUpload::RequestFile &&
            item->StatusText == Status(5)) {
            cancelled = true;
            QTimer::singleShot(0, [&] { upload->CancelUpload(); });
        }
    };
    upload->StartUpload();
    ASSERT_TRUE(RunUntil([&] { return !readyKeys.empty() && !upload->Active(); }));
    upload->ItemChanged = nullptr;
    ASSERT_TRUE(cancelled) << item->StatusText;
    EXPECT_EQ(item->UploadState, "IDLE");
    EXPECT_EQ(item->StatusText, Status(15));
    EXPECT_EQ(item->DownloadUrl, "");
    EXPECT_EQ(settings.StatisticCount(), 0);
    const std::string log = ReadFile(settings.LogFilePath());
    EXPECT_NE(log.find(": gross.bin\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(texts.GetLogFileText(4) + ": \r\n" + texts.GetLogFileText(5) + ": \r\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(StoredFiles(*service).empty());

    // Start again: the same row goes through.
    ASSERT_TRUE(Upload(item));
    EXPECT_EQ(item->UploadState, "COMPLETE") << item->StatusText;
    EXPECT_EQ(StoredFiles(*service).size(), 1u);
}

TEST_F(UploadEndToEnd, ThroughAnAuthenticatingProxy) {
    ASSERT_TRUE(StartService()) << service->Output();
    testsupport::Tinyproxy proxy("max", "pr0xy");
    ASSERT_TRUE(proxy.Ok()) << proxy.Log();
    settings.SetProxyUse(true);
    settings.SetProxyHostname("127.0.0.1");
    settings.SetProxyPort(proxy.Port());
    settings.SetProxyUsername("max");
    settings.SetProxyPassword("pr0xy");
    auto item = AddRow("proxy.txt", std::string(100000, 'p'));
    ASSERT_TRUE(Upload(item));
    ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText << "\n" << proxy.Log();
    EXPECT_EQ(Fetch(dir, item->DownloadUrl).body, std::string(100000, 'p'));
    // Requests through the proxy name the whole URL.
    EXPECT_NE(proxy.Log().find("POST " + service->BaseUrl()), std::string::npos) << proxy.Log();
    EXPECT_EQ(Query(), true);

    settings.SetProxyPassword("wrong");
    auto refused = AddRow("refused.txt", "r");
    ASSERT_TRUE(Upload(refused));
    EXPECT_EQ(refused->UploadState, "ERROR");
    EXPECT_EQ(refused->StatusText, Status(14));
    EXPECT_EQ(refused->DownloadUrl, "");
    EXPECT_EQ(StoredFiles(*service).size(), 1u);
}

TEST_F(UploadEndToEnd, TheInformationQuery) {
    ASSERT_TRUE(StartService({"--max-size-mb", "42", "--client-version", "1.00.0010", "--news",
                              "Wartung am Montag\nBitte neu starten"}))
        << service->Output();
    EXPECT_EQ(Query(), true);
    EXPECT_EQ(serviceValues.MaxFileSize, 42 * 1048576);
    EXPECT_EQ(serviceValues.Version, "1.00.0010");
    EXPECT_EQ(serviceValues.News, "Wartung am Montag\r\nBitte neu starten");
}

TEST_F(UploadEndToEnd, NoServiceListening) {
    ASSERT_TRUE(StartService()) << service->Output();
    service->Stop();
    EXPECT_EQ(Query(), false);
    EXPECT_EQ(serviceValues.MaxFileSize, 0);
    auto item = AddRow("nirgends.txt", "n");
    ASSERT_TRUE(Upload(item));
    EXPECT_EQ(item->UploadState, "ERROR");
    // The reason follows the error text.
    EXPECT_EQ(item->StatusText.rfind(Status(14) + ": Winsock Fehler ", 0), 0u) << item->StatusText;
}

} // namespace

// --- https -----------------------------------------------------------------------------------

TEST_F(UploadEndToEnd, PremiumUploadOverHttpsWithAPrivateAuthority) {
    TestPki pki;
    ASSERT_TRUE(pki.Ok()) << pki.Error();
    auto arguments = pki.ServiceArguments(TestPki::Good);
    arguments.insert(arguments.end(), {"--premium", "anna:Geheim 42"});
    ASSERT_TRUE(StartService(arguments, pki.CaFile())) << service->Output();
    ASSERT_EQ(service->BaseUrl().rfind("https://127.0.0.1:", 0), 0u) << service->BaseUrl();
    EXPECT_EQ(Query(), true);

    settings.SetPremiumUse(true);
    settings.SetPremiumUsername("anna");
    settings.SetPremiumPassword("Geheim 42");
    const std::string path = dir.WriteRandomFile("secure.bin", 700001, 11);
    auto item = MakeUploadItem(path, 700001, settings, texts, format);
    ASSERT_TRUE(Upload(item));
    ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText;
    ASSERT_EQ(item->DownloadUrl.rfind("https://", 0), 0u) << item->DownloadUrl;
    ASSERT_EQ(StoredFiles(*service).size(), 1u);
    EXPECT_EQ(StoredFiles(*service)[0].at("user"), "anna");
    const Download back = Fetch(dir, item->DownloadUrl, {}, pki.CaFile());
    EXPECT_EQ(back.status, "200");
    EXPECT_EQ(Sha256(back.body), FileSha256(path));
}

// A certificate that cannot be verified ends the upload before a byte of it is sent, with the
// host and the reason on the row.
TEST_F(UploadEndToEnd, UnverifiableCertificatesFailBeforeAnythingIsSent) {
    TestPki pki;
    ASSERT_TRUE(pki.Ok()) << pki.Error();
    const struct {
        TestPki::Kind certificate;
        bool trusted;
        const char* reason;
    } rows[] = {{TestPki::Good, false, "issuer certificate"},
                {TestPki::OtherName, true, "host name did not match"},
                {TestPki::Expired, true, "expired"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        ASSERT_TRUE(StartService(pki.ServiceArguments(row.certificate),
                                 row.trusted ? pki.CaFile() : std::string()))
            << service->Output();
        EXPECT_EQ(Query(), false);
        auto item = AddRow("secret.txt", "geheim");
        ASSERT_TRUE(Upload(item));
        EXPECT_EQ(item->UploadState, "ERROR");
        const std::string expected = Status(14) + ": Winsock Fehler 13: The certificate of "
                                                  "127.0.0.1 cannot be trusted: ";
        EXPECT_EQ(item->StatusText.rfind(expected, 0), 0u) << item->StatusText;
        EXPECT_NE(item->StatusText.find(row.reason), std::string::npos) << item->StatusText;
        EXPECT_TRUE(StoredFiles(*service).empty());
    }
}

// https through the proxy is a CONNECT tunnel; the proxy's refusal shows its status on the row.
TEST_F(UploadEndToEnd, HttpsThroughTheProxysTunnel) {
    TestPki pki;
    ASSERT_TRUE(pki.Ok()) << pki.Error();
    ASSERT_TRUE(StartService(pki.ServiceArguments(TestPki::Good), pki.CaFile()))
        << service->Output();
    const struct {
        const char *user, *password, *given;
        bool passes;
    } rows[] = {
        {"", "", "", true}, {"max", "pr0xy", "pr0xy", true}, {"max", "pr0xy", "nein", false}};
    std::size_t stored = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.user) + ":" + row.given);
        testsupport::Tinyproxy proxy(row.user, row.password);
        ASSERT_TRUE(proxy.Ok()) << proxy.Log();
        settings.SetProxyUse(true);
        settings.SetProxyHostname("127.0.0.1");
        settings.SetProxyPort(proxy.Port());
        settings.SetProxyUsername(row.user);
        settings.SetProxyPassword(row.given);
        auto item = AddRow("tunnel.txt", std::string(200000, 't'));
        ASSERT_TRUE(Upload(item));
        const std::string connect = "CONNECT 127.0.0.1:" + std::to_string(service->Port());
        EXPECT_NE(proxy.Log().find(connect), std::string::npos) << proxy.Log();
        if (row.passes) {
            ASSERT_EQ(item->UploadState, "COMPLETE") << item->StatusText << "\n" << proxy.Log();
            EXPECT_EQ(Fetch(dir, item->DownloadUrl, {}, pki.CaFile()).body,
                      std::string(200000, 't'));
            ++stored;
        } else {
            EXPECT_EQ(item->UploadState, "ERROR");
            // tinyproxy refuses a CONNECT with 401 where a plain request gets 407; the row
            // shows the proxy's own status.
            EXPECT_NE(item->StatusText.find(
                          "Fehler 401: Unauthorized (the proxy refused the tunnel to 127.0.0.1:"),
                      std::string::npos)
                << item->StatusText;
        }
        EXPECT_EQ(StoredFiles(*service).size(), stored);
    }
}
