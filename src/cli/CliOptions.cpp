#include "CliOptions.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <set>

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

} // namespace

bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error) {
    const std::pair<const char*, std::optional<std::string>*> texts[] = {
        {"--base-url", &options.baseUrl},        {"--config", &options.configPath},
        {"--language", &options.language},       {"--bin-layer-id", &options.binLayerId},
        {"--description", &options.description}, {"--password", &options.password},
        {"--ca-file", &options.caFile}};
    const std::set<std::string> withValue = {"--log",     "--proxy",   "--proxy-user",
                                             "--premium", "--timeout", "--retries"};
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> value;
        if (const size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
        }
        const auto text = std::find_if(std::begin(texts), std::end(texts),
                                       [&](const auto& entry) { return argument == entry.first; });
        if (text != std::end(texts) || withValue.count(argument) != 0) {
            if (!value && i + 1 >= arguments.size()) {
                error = "option " + argument + " needs a value";
                return false;
            }
            if (!value) {
                value = arguments[++i];
            }
        } else if (value) {
            error = "option " + argument + " takes no value";
            return false;
        }

        if (text != std::end(texts)) {
            *text->second = *value;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--quiet" || argument == "-q") {
            options.quiet = true;
        } else if (argument == "--publish" || argument == "--no-publish") {
            options.publish = argument == "--publish";
        } else if (argument == "--no-proxy") {
            options.proxyUse = false;
        } else if (argument == "--no-premium") {
            options.premiumUse = false;
        } else if (argument == "--log") {
            options.logPath = *value;
        } else if (argument == "--proxy") {
            const size_t colon = value->rfind(':');
            if (colon == std::string::npos || colon == 0 ||
                !ParseNumber(value->substr(colon + 1), 1, 65535, options.proxyPort)) {
                error = "--proxy wants HOST:PORT, not \"" + *value + "\"";
                return false;
            }
            options.proxyHost = value->substr(0, colon);
            options.proxyUse = true;
        } else if (argument == "--proxy-user") {
            SplitCredentials(*value, options.proxyUser, options.proxyPassword);
        } else if (argument == "--premium") {
            SplitCredentials(*value, options.premiumUser, options.premiumPassword);
            options.premiumUse = true;
        } else if (argument == "--timeout") {
            if (!ParseNumber(*value, 1, 86400, options.timeoutSeconds)) {
                error = "--timeout wants whole seconds from 1, not \"" + *value + "\"";
                return false;
            }
        } else if (argument == "--retries") {
            if (!ParseNumber(*value, 0, 20, options.retries)) {
                error = "--retries wants a number from 0 to 20, not \"" + *value + "\"";
                return false;
            }
        } else {
            error = "unknown option " + argument;
            return false;
        }
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
  --language NAME        language file to use (default: the configured one; on a first run
                         the one matching the user's locale)
  --log PATH             append the upload log there (default: no log)
  --publish | --no-publish
  --bin-layer-id TEXT  --description TEXT  --password TEXT
                         (defaults: the configured upload defaults; 60 characters at most)
  --proxy HOST:PORT  --proxy-user USER[:PASSWORD]  --no-proxy
  --premium USER[:PASSWORD]  --no-premium
                         a password left out comes from VOSTRAND_PROXY_PASSWORD or
                         VOSTRAND_PREMIUM_PASSWORD, then from the configuration
  --timeout SECONDS      give a request up after this long without activity (default 60)
  --retries N            extra runs over the files that failed, 2 s, 4 s, 8 s... apart
                         (default 2)
  --json                 one JSON object per file on stdout instead of plain links
  --quiet                no progress
  --help, --version

Exit codes: 0 every file uploaded, 1 at least one was not, 2 usage error, 3 the service's
information query failed, 130 interrupted.
)";
}
