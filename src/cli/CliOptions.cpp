#include "CliOptions.h"

#include "platform/modText.h"
#include "ui/UploadQueue.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <charconv>
#include <limits>

namespace {

bool ParseNumber(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    int32_t parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

// "USER[:PASSWORD]": the password only when a ":" is there.
void SplitCredentials(const std::string& text, std::optional<std::string>& user,
                      std::optional<std::string>& password) {
    const size_t colon = text.find(':');
    user = text.substr(0, colon);
    if (colon == std::string::npos) {
        password.reset();
    } else {
        password = text.substr(colon + 1);
    }
}

// HOST:PORT, http://HOST:PORT or http://HOST:PORT/; an IPv6 host in brackets.
bool ParseProxy(const std::string& text, std::string& host, int32_t& port) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(?:http://)?(\[[0-9A-Fa-f:.]+\]|[^/:@\[\]\s]+):([0-9]{1,5})/?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(QString::fromStdString(text));
    if (!match.hasMatch() || !ParseNumber(match.captured(2).toStdString(), 1, 65535, port)) {
        return false;
    }
    host = match.captured(1).toStdString();
    if (host.front() == '[') {
        host = host.substr(1, host.size() - 2);
    }
    return true;
}

} // namespace

int64_t ParseRate(const std::string& text) {
    int64_t number = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, number);
    if (error != std::errc() || number <= 0) {
        return 0;
    }
    int shift = 0;
    if (rest != end) {
        if (rest + 1 != end) {
            return 0;
        }
        switch (modText::LowerAscii(*rest)) {
        case 'k':
            shift = 10;
            break;
        case 'm':
            shift = 20;
            break;
        case 'g':
            shift = 30;
            break;
        default:
            return 0;
        }
    }
    return number > (std::numeric_limits<int64_t>::max() >> shift) ? 0 : number << shift;
}

bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error) {
    QStringList decoded{QStringLiteral("vostrand-upload")};
    for (const auto& argument : arguments) {
        decoded.push_back(QString::fromStdString(argument));
    }
    const auto valued = [](const QString& name, const QString& value) {
        return QCommandLineOption(name, QString(), value);
    };
    const QCommandLineOption help(QStringList{"h", "help"}), version("version"), json("json"),
        quiet(QStringList{"q", "quiet"}), verbose(QStringList{"v", "verbose"}),
        recursive(QStringList{"r", "recursive"}), publish("publish"), noPublish("no-publish"),
        noProxy("no-proxy"), noPremium("no-premium"),
        baseUrl = valued("base-url", "URL"), config = valued("config", "PATH"),
        caFile = valued("ca-file", "PATH"), language = valued("language", "NAME"),
        log = valued("log", "PATH"), binLayerId = valued("bin-layer-id", "TEXT"),
        description = valued("description", "TEXT"), password = valued("password", "TEXT"),
        proxy = valued("proxy", "HOST:PORT"), proxyUser = valued("proxy-user", "USER"),
        premium = valued("premium", "USER"), timeout = valued("timeout", "SECONDS"),
        retries = valued("retries", "N"), limitRate = valued("limit-rate", "RATE");
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.addOptions({help,      version,   json,       quiet,       verbose,   recursive,
                       publish,   noPublish, noProxy,    noPremium,   baseUrl,   config,
                       language,  log,       binLayerId, description, password,  proxy,
                       proxyUser, premium,   timeout,    retries,     limitRate, caFile});
    if (!parser.parse(decoded)) {
        error = parser.errorText().toStdString();
        return false;
    }
    // The last of a repeated option counts, as with most command-line programs.
    const auto value = [&](const QCommandLineOption& option) {
        return parser.values(option).constLast().toStdString();
    };
    const auto set = [&](const QCommandLineOption& option) { return parser.isSet(option); };
    options.help = set(help);
    options.version = set(version);
    options.json = set(json);
    options.quiet = set(quiet);
    options.verbose = set(verbose);
    options.recursive = set(recursive);
    if (set(publish) && set(noPublish)) {
        error = "--publish and --no-publish contradict each other";
        return false;
    }
    if (set(publish) || set(noPublish)) {
        options.publish = set(publish);
    }
    const std::pair<const QCommandLineOption*, std::optional<std::string>*> texts[] = {
        {&baseUrl, &options.baseUrl},
        {&config, &options.configPath},
        {&language, &options.language},
        {&binLayerId, &options.binLayerId},
        {&description, &options.description},
        {&password, &options.password},
        {&caFile, &options.caFile}};
    for (const auto& [option, target] : texts) {
        if (set(*option)) {
            *target = value(*option);
        }
    }
    // The service keeps 60 characters; a value cut silently would be a different value (a cut
    // password then refuses the owner's full one).
    for (const auto& [option, name] : {std::pair{&options.binLayerId, "--bin-layer-id"},
                                       std::pair{&options.description, "--description"},
                                       std::pair{&options.password, "--password"}}) {
        if (*option && modText::CutCharacters(**option, UploadQueue::MaxValueLength) != **option) {
            error = std::string(name) + " takes " + std::to_string(UploadQueue::MaxValueLength) +
                    " characters at most";
            return false;
        }
    }
    if (set(log)) {
        options.logPath = value(log);
        if (options.logPath.empty()) {
            error = "--log wants a file name";
            return false;
        }
    }
    if (set(proxy) && set(noProxy)) {
        error = "--proxy and --no-proxy contradict each other";
        return false;
    }
    if (set(noProxy)) {
        options.proxyUse = false;
    }
    if (set(proxy)) {
        if (!ParseProxy(value(proxy), options.proxyHost, options.proxyPort)) {
            error = "--proxy wants HOST:PORT or http://HOST:PORT, not \"" + value(proxy) + "\"";
            return false;
        }
        options.proxyUse = true;
    }
    if (set(proxyUser)) {
        SplitCredentials(value(proxyUser), options.proxyUser, options.proxyPassword);
    }
    if (set(premium) && set(noPremium)) {
        error = "--premium and --no-premium contradict each other";
        return false;
    }
    if (set(noPremium)) {
        options.premiumUse = false;
    }
    if (set(premium)) {
        SplitCredentials(value(premium), options.premiumUser, options.premiumPassword);
        options.premiumUse = true;
    }
    if (set(timeout) && !ParseNumber(value(timeout), 1, 86400, options.timeoutSeconds)) {
        error = "--timeout wants whole seconds from 1 to 86400, not \"" + value(timeout) + "\"";
        return false;
    }
    if (set(retries) && !ParseNumber(value(retries), 0, 20, options.retries)) {
        error = "--retries wants a number from 0 to 20, not \"" + value(retries) + "\"";
        return false;
    }
    if (set(limitRate) && (options.limitRate = ParseRate(value(limitRate))) == 0) {
        error = "--limit-rate wants bytes per second such as 500K or 2M, not \"" +
                value(limitRate) + "\"";
        return false;
    }
    // A file name may hold bytes that are no UTF-8: each one is taken from the arguments as they
    // came, in order, not from its decoded text.
    size_t next = 0;
    for (const QString& file : parser.positionalArguments()) {
        while (next < arguments.size() && decoded[static_cast<qsizetype>(next) + 1] != file) {
            ++next;
        }
        options.files.push_back(next < arguments.size() ? arguments[next++] : file.toStdString());
    }
    if (!options.help && !options.version && options.files.empty()) {
        error = "no file given";
        return false;
    }
    return true;
}

std::string CliUsage() {
    return R"(Usage: vostrand-upload [OPTIONS] FILE...
Uploads the files to the Vostrand service one after another and prints their download links.

  --base-url URL         the service (default: VOSTRAND_BASE_URL, the configuration, then
                         http://127.0.0.1:8931/)
  --config PATH          config.ini to read, never written (default: the window's)
  --ca-file PATH         PEM certificates of authorities trusted for https besides the
                         system's (default: ca_file in section Service of the configuration)
  --language NAME        language file to use, in any letter case (default: the configured
                         one; on a first run the one matching the user's locale, else English)
  --log PATH             append the upload log there (default: no log)
  -r, --recursive        upload the files of named folders and their subfolders (regular
                         files, in name order; linked folders are not entered)
  --publish | --no-publish
  --bin-layer-id TEXT  --description TEXT  --password TEXT
                         (defaults: the configured upload defaults; 60 characters at most)
  --proxy HOST:PORT      also http://HOST:PORT; without --proxy or a configured proxy,
                         http_proxy (https_proxy for https) and no_proxy are read as curl does
  --proxy-user USER[:PASSWORD]  --no-proxy
  --premium USER[:PASSWORD]  --no-premium
                         a password left out comes from VOSTRAND_PROXY_PASSWORD or
                         VOSTRAND_PREMIUM_PASSWORD, then from the configuration
  --limit-rate RATE      send no faster than RATE bytes per second (500K, 2M; K = 1024)
  --timeout SECONDS      give a request up after this long without activity (default 60)
  --retries N            extra runs over the files that failed, 2 s, 4 s, 8 s... apart
                         (default 2)
  --json                 one JSON object per file on stdout instead of plain links
  -q, --quiet            no progress (failures are still told)
  -v, --verbose          each request line and status line on stderr, as it happens
  -h, --help, --version

Every file that is not uploaded gets one line on stderr with the reason.
Exit codes: 0 every file uploaded, 1 at least one was not, 2 usage error, 3 the service's
information query failed, 130 interrupted.
)";
}
