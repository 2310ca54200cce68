#pragma once
// The command line of vostrand-upload.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    std::optional<std::string> baseUrl;
    std::optional<std::string> configPath;
    std::optional<std::string> caFile; // authorities trusted beside the system's
    std::optional<std::string> language;
    std::string logPath; // empty: no log
    std::optional<bool> publish;
    std::optional<std::string> binLayerId, description, password;
    // Proxy and premium: nullopt keeps the configuration; "no" switches off.
    std::optional<bool> proxyUse;
    std::string proxyHost;
    int32_t proxyPort = 0;
    std::optional<std::string> proxyUser;
    std::optional<std::string> proxyPassword; // given after "USER:"
    std::optional<bool> premiumUse;
    std::optional<std::string> premiumUser;
    std::optional<std::string> premiumPassword;
    int32_t timeoutSeconds = 60;
    int32_t retries = 2;
    int64_t limitRate = 0; // bytes per second of the body; 0: no limit
    bool recursive = false;
    bool verbose = false;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
};

// Reads the arguments (without the program name). False with a message naming the option when
// the command line is unusable; the values are checked here, so that nothing is refused later
// in the run.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error);

// "500K", "2M", "1G" or a plain number of bytes (units of 1024); 0 when the text is none of them.
int64_t ParseRate(const std::string& text);

// The text of --help.
std::string CliUsage();
