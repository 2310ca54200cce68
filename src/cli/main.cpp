// vostrand-upload: uploads the files named on the command line through the same queue logic and
// engine as the window, on a Qt event loop, and prints their download links.
#include "CliOptions.h"
#include "RetryDelay.h"
#include "CliSocket.h"
#include "TerminalToolkit.h"

#include "http/modUrl.h"
#include "platform/Format.h"
#include "platform/modFileSystem.h"
#include "platform/modText.h"
#include "platform/qt/QtSocket.h"
#include "settings/LanguageChoice.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "ui/UploadQueue.h"
#include "upload/clsInfo.h"
#include "upload/clsUpload.h"
#include "upload/modUpload.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ExitComplete = 0;
constexpr int ExitIncomplete = 1;
constexpr int ExitUsage = 2;
constexpr int ExitInfoFailed = 3;
constexpr int ExitInterrupted = 130;

// Self-pipe: the signal handler only writes a byte; the event loop does the work.
int g_SignalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_SignalPipe[1], &byte, 1);
    errno = saved;
}

// A text for QJson: bytes that are not UTF-8 (file names may hold any) become U+FFFD, so the
// output stays valid JSON.
QString JsonText(const std::string& text) {
    return QString::fromStdString(text);
}

// Where a message about a file is printed: stderr, one line, the path as the user gave it.
void TellFile(const std::string& given, const std::string& text) {
    std::fprintf(stderr, "vostrand-upload: %s: %s\n", given.c_str(), text.c_str());
}

// One file named on the command line, or found in a folder named with -r.
struct Entry {
    std::string given;     // as typed (a folder's file: the folder as typed, then its path)
    std::string path;      // absolute: the row's key
    bool refused = false;  // the queue did not take it; refusal says why
    bool repeated = false; // the same file as an earlier entry: told once, uploaded once
    std::string refusal;
};

class UploadCommand {
public:
    UploadCommand(const CliOptions& options, ConfigSettings& settings,
                  const modLanguage::TextLists& texts, const NumberFormat& format,
                  const SocketFactory& sockets, const std::string& baseUrl)
        : m_Options(options), m_Settings(settings), m_Texts(texts),
          m_BaseUrl(modUpload::NormalizeBaseUrl(baseUrl)),
          m_Sockets(CliSocketFactory(sockets, options.limitRate, options.verbose)),
          m_Upload(settings, texts, format, m_Sockets),
          // The live line and --verbose's lines would run into each other.
          m_Toolkit(m_Upload, isatty(STDERR_FILENO) != 0 && !options.quiet && !options.verbose),
          m_Queue(m_Toolkit, settings, texts, format, m_Upload) {
        m_Upload.SetBaseUrl(m_BaseUrl);
        m_Toolkit.SetList(m_Queue.List());
        m_Toolkit.Tick = [this] { m_Queue.Tick(); };
        m_Queue.SetStallLimit(options.timeoutSeconds);
        m_Queue.SetHomePage(m_BaseUrl);
        m_Queue.InfoComplete = [this](bool success) { OnInfoComplete(success); };
        m_Queue.UploadEnded = [this](const std::string& key) {
            m_DeleteUrls[key] = m_Upload.LastDeleteUrl();
            m_Toolkit.FinishLine();
        };
        // Posted: RunEnded may come from inside the engine's completion.
        m_Queue.RunEnded = [this] { m_Toolkit.Post([this] { OnRunEnded(); }); };
        for (const auto& file : options.files) {
            if (options.recursive && IsFolder(file)) {
                const auto found = modFileSystem::FolderFiles(file);
                for (const auto& path : found) {
                    AddEntry(path);
                }
                if (found.empty()) {
                    m_Entries.push_back({file, file, true, false, "the folder holds no file"});
                }
            } else {
                AddEntry(file);
            }
        }
    }

    void Begin() {
        m_Queue.SetInitialState();
        auto info = std::make_unique<clsInfo>(m_Settings, m_Sockets);
        info->SetBaseUrl(m_BaseUrl);
        // The queue releases it only after InfoComplete has returned.
        m_Info = info.get();
        // A failed query is told with its cause, in OnInfoComplete; the queue's box about it
        // (restart the program) is no advice for a command line.
        m_Toolkit.Collect = &m_Messages;
        m_Queue.RequestInfo(std::move(info));
    }

    // SIGINT or SIGTERM: the first cancels the run and ends with the summary; a second one
    // while that is under way ends at once.
    void Interrupt() {
        m_Toolkit.FinishLine(); // the summary starts on a line of its own, after the "^C"
        if (m_Finished) {
            return;
        }
        if (m_Interrupted) {
            QCoreApplication::exit(ExitInterrupted);
            return;
        }
        m_Interrupted = true;
        if (m_Queue.RunInProgress()) {
            m_Queue.Cancel(); // RunEnded follows
        } else {
            Finish(ExitInterrupted);
        }
    }

private:
    static bool IsFolder(const std::string& path) {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    }

    void AddEntry(const std::string& given) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(given, error);
        Entry entry{given, error ? given : absolute.lexically_normal().string(), false, false, {}};
        for (const auto& earlier : m_Entries) {
            if (!earlier.repeated && earlier.path == entry.path) {
                entry.repeated = true;
                std::fprintf(stderr,
                             "vostrand-upload: warning: %s is the same file as %s; it is "
                             "uploaded once\n",
                             given.c_str(), earlier.given.c_str());
                break;
            }
        }
        m_Entries.push_back(std::move(entry));
    }

    void OnInfoComplete(bool success) {
        const clsInfo* info = m_Info;
        m_Info = nullptr;
        if (m_Finished) {
            return;
        }
        if (!success) {
            m_InfoFailed = true;
            std::fprintf(stderr,
                         "vostrand-upload: the service information of %s could not be fetched: "
                         "%s\n",
                         m_BaseUrl.c_str(), info != nullptr ? info->ErrorText().c_str() : "");
            // After the queue's own box, which it posted before raising this event; the box
            // (collected) says no more than the line above.
            m_Toolkit.Post([this] { Finish(ExitInfoFailed); });
            return;
        }
        m_Toolkit.Collect = nullptr;
        for (auto& entry : m_Entries) {
            if (entry.repeated || entry.refused) {
                continue;
            }
            if (!m_Options.recursive && IsFolder(entry.path)) {
                entry.refused = true;
                entry.refusal = "is a folder (-r uploads the files in it)";
                continue;
            }
            std::vector<std::string> messages;
            m_Toolkit.Collect = &messages;
            const int32_t before = m_Queue.List().Count();
            m_Queue.AddFile(entry.path);
            m_Toolkit.Collect = nullptr;
            entry.refused = m_Queue.List().Count() == before;
            for (const auto& message : messages) {
                entry.refusal += (entry.refusal.empty() ? "" : " ") + message;
            }
            if (entry.refused && entry.refusal.empty()) {
                entry.refusal = "not added";
            }
        }
        m_Queue.UpdateListCommands();
        // The options act like the window's commands on every row.
        if (m_Options.publish) {
            *m_Options.publish ? m_Queue.PublishYes() : m_Queue.PublishNo();
        }
        const std::pair<const std::optional<std::string>*, void (UploadQueue::*)()> values[] = {
            {&m_Options.binLayerId, &UploadQueue::SetBinLayerID},
            {&m_Options.description, &UploadQueue::SetDescription},
            {&m_Options.password, &UploadQueue::SetPassword}};
        for (const auto& [value, command] : values) {
            if (*value) {
                m_Toolkit.InputAnswers.push_back(**value);
                (m_Queue.*command)();
            }
        }
        if (m_Queue.List().Empty()) {
            Finish(ExitIncomplete);
            return;
        }
        m_Queue.StartRun(m_Options.logPath);
    }

    void OnRunEnded() {
        if (m_Finished || m_Queue.RunInProgress()) {
            return;
        }
        if (m_Interrupted) {
            Finish(ExitInterrupted);
            return;
        }
        int32_t failed = 0;
        for (const auto& row : m_Queue.List()) {
            failed += row->IsError() ? 1 : 0;
        }
        if (failed == 0 || m_Attempt >= m_Options.retries) {
            Finish(ExitComplete); // Finish finds what did not complete
            return;
        }
        ++m_Attempt;
        const int delaySeconds = RetryDelaySeconds(m_Attempt);
        if (!m_Options.quiet) {
            std::fprintf(stderr, "vostrand-upload: %d file(s) failed; retry %d of %d in %d s\n",
                         failed, m_Attempt, m_Options.retries, delaySeconds);
        }
        m_RetryTimer.setSingleShot(true);
        QObject::disconnect(&m_RetryTimer, nullptr, nullptr, nullptr);
        QObject::connect(&m_RetryTimer, &QTimer::timeout, [this] {
            if (!m_Finished && !m_Interrupted) {
                m_Queue.StartRun(m_Options.logPath);
            }
        });
        m_RetryTimer.start(delaySeconds * 1000);
    }

    // Why an entry did not complete, in plain words; "" when it did.
    std::string Cause(const Entry& entry) const {
        if (entry.refused) {
            return entry.refusal;
        }
        const auto row = m_Queue.List().Find(entry.path);
        if (row && row->IsComplete()) {
            return {};
        }
        if (row && row->IsError()) {
            return row->ErrorText.empty() ? row->StatusText : row->ErrorText;
        }
        if (m_InfoFailed) {
            return "not uploaded: the service information could not be fetched";
        }
        if (m_Interrupted) {
            return row && row->StatusText == m_Texts.GetStatusText(StatusNumber::Cancelled)
                       ? "cancelled"
                       : "not started: interrupted";
        }
        return "not uploaded";
    }

    void Finish(int code) {
        if (m_Finished) {
            return;
        }
        m_Finished = true;
        m_RetryTimer.stop();
        m_Toolkit.SetTimerEnabled(false);
        m_Toolkit.FinishLine();
        bool allComplete = true;
        for (const auto& entry : m_Entries) {
            if (entry.repeated) {
                continue;
            }
            const std::string cause = Cause(entry);
            allComplete = allComplete && cause.empty();
            if (!cause.empty()) {
                TellFile(entry.given, cause);
            }
            PrintEntry(entry, cause);
        }
        std::fflush(stderr);
        std::fflush(stdout);
        if (code == ExitComplete && !allComplete) {
            code = ExitIncomplete;
        }
        QCoreApplication::exit(code);
    }

    // The entry's line on stdout: its link, or with --json its object.
    void PrintEntry(const Entry& entry, const std::string& cause) {
        const auto row = entry.refused ? nullptr : m_Queue.List().Find(entry.path);
        if (!m_Options.json) {
            if (row && row->IsComplete()) {
                std::printf("%s\n", row->DownloadUrl.c_str());
            }
            return;
        }
        QJsonObject object{{"file", JsonText(entry.given)},
                           {"name", JsonText(modFileSystem::GetFileName(entry.path))},
                           {"size", static_cast<qint64>(modFileSystem::GetFileSize(entry.path))},
                           {"state", "REFUSED"},
                           {"status", ""},
                           {"download_url", ""},
                           {"delete_url", ""},
                           {"error", JsonText(cause)}};
        if (row) {
            object["state"] = JsonText(row->UploadState);
            object["status"] = JsonText(row->StatusText);
            object["size"] = static_cast<qint64>(row->FileSize);
            if (row->IsComplete()) {
                object["download_url"] = JsonText(row->DownloadUrl);
                object["delete_url"] = JsonText(m_DeleteUrls[entry.path]);
            }
        } else if (!entry.refused) {
            object["state"] = "IDLE"; // never reached the list (the run ended before)
        }
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    }

    const CliOptions& m_Options;
    ConfigSettings& m_Settings;
    const modLanguage::TextLists& m_Texts;
    std::string m_BaseUrl;
    SocketFactory m_Sockets;
    clsUpload m_Upload;
    TerminalToolkit m_Toolkit;
    UploadQueue m_Queue;
    const clsInfo* m_Info = nullptr; // the query, until its answer was handled
    std::vector<std::string> m_Messages;
    bool m_InfoFailed = false;
    std::vector<Entry> m_Entries;
    std::map<std::string, std::string> m_DeleteUrls;
    QTimer m_RetryTimer;
    int32_t m_Attempt = 0;
    bool m_Interrupted = false;
    bool m_Finished = false;
};

// A proxy named by the environment for requests to url, as curl reads it: http_proxy (or
// HTTP_PROXY), https_proxy (HTTPS_PROXY) for https, unless no_proxy (NO_PROXY) names the host
// ("*", a host, or a domain that the host ends in). Credentials in the proxy URL are taken.
struct EnvironmentProxy {
    std::string host;
    int32_t port = 1080;
    std::string user, password;
};

const char* Environment(const char* lower, const char* upper) {
    const char* value = std::getenv(lower);
    if (value == nullptr || *value == '\0') {
        value = std::getenv(upper);
    }
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool NoProxyFor(const std::string& host) {
    const char* list = Environment("no_proxy", "NO_PROXY");
    if (list == nullptr) {
        return false;
    }
    const std::string lowerHost = modText::Lower(host);
    for (const QString& item : QString(list).split(',', Qt::SkipEmptyParts)) {
        std::string entry = modText::Lower(item.trimmed().toStdString());
        if (entry == "*") {
            return true;
        }
        if (const size_t colon = entry.rfind(':');
            colon != std::string::npos && entry.find(':') == colon) {
            entry.resize(colon); // "host:port"
        }
        while (!entry.empty() && entry.front() == '.') {
            entry.erase(0, 1);
        }
        if (!entry.empty() &&
            (lowerHost == entry || (lowerHost.size() > entry.size() && lowerHost.ends_with(entry) &&
                                    lowerHost[lowerHost.size() - entry.size() - 1] == '.'))) {
            return true;
        }
    }
    return false;
}

std::optional<EnvironmentProxy> ProxyFromEnvironment(const std::string& url) {
    const UrlParts target = modUrl::CrackUrl(url);
    const bool https = modText::EqualNoCase(target.Scheme, "https");
    const char* value =
        https ? Environment("https_proxy", "HTTPS_PROXY") : Environment("http_proxy", "HTTP_PROXY");
    if (value == nullptr || NoProxyFor(target.HostName)) {
        return std::nullopt;
    }
    QString text = QString(value).trimmed();
    if (!text.contains(QStringLiteral("://"))) {
        text.prepend(QStringLiteral("http://"));
    }
    const QUrl proxy(text);
    if (!proxy.isValid() || proxy.host().isEmpty() ||
        proxy.scheme().compare(QStringLiteral("http"), Qt::CaseInsensitive) != 0) {
        std::fprintf(stderr,
                     "vostrand-upload: warning: the proxy %s is not used: only http "
                     "proxies are spoken\n",
                     value);
        return std::nullopt;
    }
    return EnvironmentProxy{proxy.host().toStdString(), proxy.port(1080),
                            proxy.userName().toStdString(), proxy.password().toStdString()};
}

// Why the log file cannot be appended to, or "" when it can; checked before the run, since the
// upload log is written only as each upload ends.
std::string LogFileProblem(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return "is a folder";
        }
        return ::access(path.c_str(), W_OK) == 0 ? "" : std::strerror(errno);
    }
    if (errno != ENOENT) {
        return std::strerror(errno);
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const std::string where = folder.empty() ? "." : folder;
    if (::stat(where.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return "the folder " + where + " does not exist";
    }
    return ::access(where.c_str(), W_OK | X_OK) == 0 ? ""
                                                     : "the folder " + where + " is not writable";
}

// A password not given on the command line: the environment, then what the configuration holds.
std::string PasswordFor(const std::optional<std::string>& given, const char* variable,
                        const std::string& configured) {
    if (given) {
        return *given;
    }
    const char* fromEnvironment = std::getenv(variable);
    return fromEnvironment != nullptr ? fromEnvironment : configured;
}

void ApplyConnectionOptions(const CliOptions& options, ConfigSettings& settings,
                            const std::string& baseUrl) {
    if (options.proxyUse) {
        settings.SetProxyUse(*options.proxyUse);
        if (*options.proxyUse) {
            settings.SetProxyHostname(options.proxyHost);
            settings.SetProxyPort(options.proxyPort);
        }
    } else if (!settings.ProxyUse()) {
        if (const auto proxy = ProxyFromEnvironment(baseUrl)) {
            settings.SetProxyUse(true);
            settings.SetProxyHostname(proxy->host);
            settings.SetProxyPort(proxy->port);
            if (!proxy->user.empty() || !proxy->password.empty()) {
                settings.SetProxyUsername(proxy->user);
                settings.SetProxyPassword(proxy->password);
            }
        }
    }
    if (options.proxyUser) {
        settings.SetProxyUsername(*options.proxyUser);
    }
    // Also for the configured user: the environment keeps a password out of config.ini.
    settings.SetProxyPassword(
        PasswordFor(options.proxyPassword, "VOSTRAND_PROXY_PASSWORD", settings.ProxyPassword()));
    if (options.premiumUse) {
        settings.SetPremiumUse(*options.premiumUse);
    }
    if (options.premiumUser) {
        settings.SetPremiumUsername(*options.premiumUser);
    }
    settings.SetPremiumPassword(PasswordFor(options.premiumPassword, "VOSTRAND_PREMIUM_PASSWORD",
                                            settings.PremiumPassword()));
}

} // namespace

int main(int argc, char** argv) {
    CliOptions options;
    std::string error;
    if (!ParseCliOptions({argv + 1, argv + argc}, options, error)) {
        std::fprintf(stderr, "vostrand-upload: %s\nTry 'vostrand-upload --help'.\n", error.c_str());
        return ExitUsage;
    }
    if (options.help) {
        std::fputs(CliUsage().c_str(), stdout);
        return ExitComplete;
    }
    if (options.version) {
        std::printf("vostrand-upload %s\n", UploadQueue::LocalVersion().c_str());
        return ExitComplete;
    }

    QCoreApplication app(argc, argv);
    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();

    ConfigSettings& settings = modConfig::Settings();
    const std::string configFile =
        options.configPath ? *options.configPath : modConfig::ConfigFilePath(programFolder);
    modConfig::LoadConfig(settings, configFile); // read, never written
    // The summary is made from the rows, so they stay in the list.
    settings.SetRemoveCompleteFiles(false);
    const std::string baseUrl = modUpload::NormalizeBaseUrl(
        options.baseUrl
            ? *options.baseUrl
            : modUpload::ResolveBaseUrl(std::getenv(modUpload::BaseUrlEnvironment), configFile));
    ApplyConnectionOptions(options, settings, baseUrl);
    if (!options.logPath.empty()) {
        if (const std::string problem = LogFileProblem(options.logPath); !problem.empty()) {
            std::fprintf(stderr, "vostrand-upload: --log %s: %s\n", options.logPath.c_str(),
                         problem.c_str());
            return ExitUsage;
        }
    }

    const std::string languageFolder = modLanguage::LanguageFolder(programFolder);
    std::string language;
    if (options.language) {
        std::string available;
        for (const auto& name : modLanguage::ListLanguages(languageFolder)) {
            if (modText::EqualNoCase(name, *options.language)) {
                language = name;
            }
            available += (available.empty() ? "" : ", ") + name;
        }
        if (language.empty()) {
            // The folder is named too: an installed program looks elsewhere than a built one.
            std::fprintf(stderr,
                         "vostrand-upload: --language %s: no such language; available: %s (in "
                         "%s)\n",
                         options.language->c_str(), available.empty() ? "none" : available.c_str(),
                         languageFolder.c_str());
            return ExitUsage;
        }
    } else {
        language =
            SettleLanguageInFolder(languageFolder, settings.Language(), UserLocale()).language;
    }
    modLanguage::TextLists& texts = modLanguage::Texts();
    modLanguage::LoadTextLists(texts, modLanguage::LanguageFilePath(languageFolder, language));

    const NumberFormat format = NumberFormat::FromLocale();
    // Trust for https: the system's authorities, plus those of --ca-file or the configuration.
    const std::string caFile = options.caFile
                                   ? *options.caFile
                                   : modConfig::ReadIniValue(configFile, "Service", "ca_file", "");
    QList<QSslCertificate> authorities;
    if (!caFile.empty() && !ReadCaFile(caFile, authorities, error)) {
        std::fprintf(stderr, "vostrand-upload: %s\n", error.c_str());
        return ExitUsage;
    }
    UploadCommand command(options, settings, texts, format, QtSocketFactory(authorities), baseUrl);

    // Without the pipe an interrupt could not cancel the upload and still report; say so and
    // stop before anything is sent.
    if (::pipe2(g_SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "vostrand-upload: cannot watch for interrupts: %s\n",
                     std::strerror(errno));
        return ExitIncomplete;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QSocketNotifier notifier(g_SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char bytes[16];
        while (::read(g_SignalPipe[0], bytes, sizeof bytes) > 0) {
            command.Interrupt();
        }
    });

    QTimer::singleShot(0, [&] { command.Begin(); });
    return app.exec();
}
