// vostrand-service entry: command line, signals, and the one line with the base URL on stdout
// that scripts and tests wait for.
#include "Service.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pthread.h>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr const char* kUsage =
    "Usage: vostrand-service [options]\n"
    "  --host ADDRESS            address to listen on (default 127.0.0.1)\n"
    "  --port N                  port, 0 picks a free one (default 8931)\n"
    "  --storage DIR             where uploads are kept\n"
    "                            (default $XDG_DATA_HOME/vostrand-service)\n"
    "  --max-size-mb N           largest accepted file in MB (default 100)\n"
    "  --client-version TEXT     client version announced by toolconfig.php "
    "(default " VOSTRAND_VERSION_TEXT ")\n"
    "  --news TEXT               news text announced by toolconfig.php\n"
    "  --premium-file FILE       premium accounts, one USER:PASSWORD per line ('#' starts a\n"
    "                            comment); also one per line in $VOSTRAND_SERVICE_PREMIUM\n"
    "  --premium USER:PASSWORD   deprecated: the password shows in the process list\n"
    "  --upload-answer redirect|script\n"
    "                            answer uploads with a 302 (default) or a script page\n"
    "  --tls-cert FILE           serve HTTPS with this PEM certificate (chain)\n"
    "  --tls-key FILE            and this PEM private key (both or neither)\n"
    "  --quiet                   no request log on stderr\n"
    "  --help, --version         this text; the program's version\n"
    "Prints its base URL on one line once it listens; stops on SIGINT or SIGTERM.\n";

std::filesystem::path DefaultStorage() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return std::filesystem::path(data) / "vostrand-service";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr && home[0] != '\0' ? home : ".") / ".local" /
           "share" / "vostrand-service";
}

bool ParseNumber(const std::string& text, int64_t lngMin, int64_t lngMax, int64_t& value) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || n < lngMin || n > lngMax) {
        return false;
    }
    value = n;
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vostrand-service: %s\n", message.c_str());
    return 1;
}

constexpr const char* kPremiumEnvironment = "VOSTRAND_SERVICE_PREMIUM";

// One "USER:PASSWORD" account; false when it has no user.
bool AddPremium(const std::string& entry, service::ServiceOptions& options) {
    const size_t colon = entry.find(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    options.Premium.emplace_back(entry.substr(0, colon), entry.substr(colon + 1));
    return true;
}

// Accounts one per line; blank lines and lines starting with '#' are skipped. An error text, or
// "" when every line was an account.
std::string AddPremiumLines(const std::string& text, const std::string& source,
                            service::ServiceOptions& options) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (!AddPremium(line, options)) {
            return source + " line " + std::to_string(number) + ": expected USER:PASSWORD";
        }
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    service::ServiceOptions options;
    options.StorageDir = DefaultStorage();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("vostrand-service %s\n", VOSTRAND_VERSION_TEXT);
            return 0;
        }
        if (arg == "--quiet") {
            options.Quiet = true;
            continue;
        }
        if (i + 1 >= argc) {
            return Fail("unknown option or missing value: " + arg + " (see --help)");
        }
        const std::string value = argv[++i];
        int64_t number = 0;
        if (arg == "--host") {
            options.Host = value;
        } else if (arg == "--port") {
            if (!ParseNumber(value, 0, 65535, number)) {
                return Fail("invalid port: " + value);
            }
            options.Port = static_cast<int32_t>(number);
        } else if (arg == "--storage") {
            options.StorageDir = value;
        } else if (arg == "--max-size-mb") {
            if (!ParseNumber(value, 1, 1024 * 1024, number)) {
                return Fail("invalid size: " + value);
            }
            options.MaxSizeMB = number;
        } else if (arg == "--client-version") {
            options.ClientVersion = value;
        } else if (arg == "--news") {
            options.News = value;
        } else if (arg == "--premium") {
            std::fprintf(stderr,
                         "vostrand-service: --premium is deprecated: every local user can "
                         "read its password in the process list; use --premium-file or "
                         "$%s\n",
                         kPremiumEnvironment);
            if (!AddPremium(value, options)) {
                return Fail("--premium expects USER:PASSWORD");
            }
        } else if (arg == "--premium-file") {
            std::ifstream file(value, std::ios::binary);
            std::ostringstream text;
            text << file.rdbuf();
            if (!file) {
                return Fail("cannot read the premium accounts in " + value + ": " +
                            std::strerror(errno));
            }
            const std::string error = AddPremiumLines(text.str(), value, options);
            if (!error.empty()) {
                return Fail(error);
            }
        } else if (arg == "--upload-answer") {
            if (value != "redirect" && value != "script") {
                return Fail("--upload-answer expects redirect or script");
            }
            options.ScriptAnswer = value == "script";
        } else if (arg == "--tls-cert") {
            options.TlsCert = value;
        } else if (arg == "--tls-key") {
            options.TlsKey = value;
        } else {
            return Fail("unknown option: " + arg + " (see --help)");
        }
    }

    if (const char* accounts = std::getenv(kPremiumEnvironment)) {
        const std::string error = AddPremiumLines(accounts, kPremiumEnvironment, options);
        if (!error.empty()) {
            return Fail(error);
        }
    }
    if (options.TlsCert.empty() != options.TlsKey.empty()) {
        return Fail("--tls-cert and --tls-key go together");
    }

    // Signals are taken by sigwait in this thread only; the server's threads never see them.
    // A client that goes away mid-answer must not kill the process, nor a file-size limit on a
    // large upload: the write fails instead and the upload is refused.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    service::Service svc(std::move(options));
    std::string error;
    if (!svc.Start(error)) {
        return Fail(error);
    }

    bool served = true;
    std::thread server([&] {
        served = svc.Run();
        if (!served) {
            // Wake the main thread so the process ends with an error instead of hanging.
            ::kill(::getpid(), SIGTERM);
        }
    });
    std::fprintf(stdout, "%s\n", svc.BaseUrl().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    svc.Stop();
    server.join();
    return served ? 0 : Fail("the server stopped unexpectedly");
}
