// vostrand-upload: uploads the files named on the command line through the same queue logic and
// engine as the window, on a Qt event loop, and prints their download links.
#include "CliOptions.h"
#include "TerminalToolkit.h"
#include "Utf8.h"

#include "platform/Format.h"
#include "platform/modFileSystem.h"
#include "platform/qt/QtSocket.h"
#include "settings/LanguageChoice.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "ui/UploadQueue.h"
#include "upload/clsInfo.h"
#include "upload/clsUpload.h"
#include "upload/modUpload.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
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

// A JSON string: quotes, backslashes and control characters escaped; bytes that are not UTF-8
// (file names may hold any) become U+FFFD so that the output stays valid JSON.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        char32_t point = 0;
        const size_t length = Utf8Sequence(text, i, point);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (point == '"' || point == '\\') {
            out += '\\';
            out += static_cast<char>(point);
        } else if (point < 0x20 || point == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(point));
            out += escaped;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

// One file named on the command line.
struct Entry {
    std::string given; // as typed
    std::string path;  // absolute: the row's key
    bool refused = false;
};

class UploadCommand {
public:
    UploadCommand(const CliOptions& options, ConfigSettings& settings,
                  const modLanguage::TextLists& texts, const NumberFormat& format,
                  const SocketFactory& sockets, const std::string& baseUrl)
        : m_Options(options), m_Settings(settings), m_Sockets(sockets),
          m_BaseUrl(modUpload::NormalizeBaseUrl(baseUrl)),
          m_Upload(settings, texts, format, sockets),
          m_Toolkit(m_Upload, isatty(STDERR_FILENO) != 0 && !options.quiet),
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
            std::error_code error;
            auto absolute = std::filesystem::absolute(file, error);
            m_Entries.push_back({file, error ? file : absolute.lexically_normal().string(), false});
        }
    }

    void Begin() {
        m_Queue.SetInitialState();
        auto info = std::make_unique<clsInfo>(m_Settings, m_Sockets);
        info->SetBaseUrl(m_BaseUrl);
        // The queue releases it only after InfoComplete has returned.
        m_Info = info.get();
        m_Queue.RequestInfo(std::move(info));
    }

    // SIGINT or SIGTERM: the first cancels the run and ends with the summary; a second one
    // while that is under way ends at once.
    void Interrupt() {
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
    void OnInfoComplete(bool success) {
        const clsInfo* info = m_Info;
        m_Info = nullptr;
        if (m_Finished) {
            return;
        }
        if (!success) {
            const std::string why = info ? info->FailureDetails() : std::string();
            std::fprintf(stderr,
                         "vostrand-upload: the service at %s did not tell its upload limits%s\n",
                         m_BaseUrl.c_str(), why.empty() ? "" : (": " + why).c_str());
            // After the queue's own message, which it posted before raising this event.
            m_Toolkit.Post([this] { Finish(ExitInfoFailed, false); });
            return;
        }
        for (auto& entry : m_Entries) {
            const int32_t before = m_Queue.List().Count();
            m_Queue.AddFile(entry.path);
            entry.refused = m_Queue.List().Count() == before;
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
            Finish(failed == 0 && !AnyRefused() ? ExitComplete : ExitIncomplete);
            return;
        }
        ++m_Attempt;
        const int delaySeconds = 1 << m_Attempt; // 2, 4, 8 …
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

    bool AnyRefused() const {
        for (const auto& entry : m_Entries) {
            if (entry.refused) {
                return true;
            }
        }
        return false;
    }

    void Finish(int code, bool summary = true) {
        m_Finished = true;
        m_RetryTimer.stop();
        m_Toolkit.SetTimerEnabled(false);
        m_Toolkit.FinishLine();
        if (summary) {
            PrintSummary();
        }
        if (code == ExitComplete) {
            for (const auto& entry : m_Entries) {
                const auto row = m_Queue.List().Find(entry.path);
                if (entry.refused || !row || !row->IsComplete()) {
                    code = m_Interrupted ? ExitInterrupted : ExitIncomplete;
                }
            }
        }
        QCoreApplication::exit(code);
    }

    void PrintSummary() {
        // A path named twice is one row; its second mention was refused as a duplicate.
        for (const auto& entry : m_Entries) {
            const auto row = entry.refused ? nullptr : m_Queue.List().Find(entry.path);
            if (!m_Options.json) {
                if (row && row->IsComplete()) {
                    std::printf("%s\n", row->DownloadUrl.c_str());
                }
                continue;
            }
            std::string state = "REFUSED", status, download, remove;
            int64_t size = modFileSystem::GetFileSize(entry.path);
            if (row) {
                state = row->UploadState;
                status = row->StatusText;
                size = row->FileSize;
                if (row->IsComplete()) {
                    download = row->DownloadUrl;
                    remove = m_DeleteUrls[entry.path];
                }
            } else if (!entry.refused) {
                state = "IDLE"; // never reached the list (interrupted before the files were added)
            }
            std::printf("{\"file\":%s,\"name\":%s,\"size\":%lld,\"state\":%s,\"status\":%s,"
                        "\"download_url\":%s,\"delete_url\":%s}\n",
                        JsonString(entry.given).c_str(),
                        JsonString(modFileSystem::GetFileName(entry.path)).c_str(),
                        static_cast<long long>(size), JsonString(state).c_str(),
                        JsonString(status).c_str(), JsonString(download).c_str(),
                        JsonString(remove).c_str());
        }
        std::fflush(stdout);
    }

    const CliOptions& m_Options;
    ConfigSettings& m_Settings;
    SocketFactory m_Sockets;
    const clsInfo* m_Info = nullptr; // the information query, until it has answered
    std::string m_BaseUrl;
    clsUpload m_Upload;
    TerminalToolkit m_Toolkit;
    UploadQueue m_Queue;
    std::vector<Entry> m_Entries;
    std::map<std::string, std::string> m_DeleteUrls;
    QTimer m_RetryTimer;
    int32_t m_Attempt = 0;
    bool m_Interrupted = false;
    bool m_Finished = false;
};

// A password not given on the command line: the environment, then what the configuration holds.
std::string PasswordFor(const std::optional<std::string>& given, const char* variable,
                        const std::string& configured) {
    if (given) {
        return *given;
    }
    const char* fromEnvironment = std::getenv(variable);
    return fromEnvironment != nullptr ? fromEnvironment : configured;
}

void ApplyConnectionOptions(const CliOptions& options, ConfigSettings& settings) {
    if (options.proxyUse) {
        settings.SetProxyUse(*options.proxyUse);
        if (*options.proxyUse) {
            settings.SetProxyHostname(options.proxyHost);
            settings.SetProxyPort(options.proxyPort);
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
    ApplyConnectionOptions(options, settings);
    const std::string baseUrl =
        options.baseUrl
            ? *options.baseUrl
            : modUpload::ResolveBaseUrl(std::getenv(modUpload::BaseUrlEnvironment), configFile);

    const std::string languageFolder = modLanguage::LanguageFolder(programFolder);
    std::string language;
    if (options.language) {
        language = *options.language;
        if (!modFileSystem::FileExists(modLanguage::LanguageFilePath(languageFolder, language))) {
            std::fprintf(stderr, "vostrand-upload: no language file %s.ini in %s\n",
                         language.c_str(), languageFolder.c_str());
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

    if (::pipe2(g_SignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
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
