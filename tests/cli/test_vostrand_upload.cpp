// vostrand-upload end to end: the program runs as a child process against vostrand-service,
// tinyproxy or a scripted server started here, and its output, its exit code and what the
// service received are checked.
#include "ChildProcess.h"
#include "FreePort.h"
#include "ScriptedServer.h"
#include "ServiceProcess.h"
#include "TempDir.h"
#include "Tinyproxy.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

using namespace testsupport;

namespace {

const std::string Program = VOSTRAND_BIN_DIR "/vostrand-upload";

struct Result {
    int code = -1;
    std::vector<std::string> lines; // stdout (and stderr when merged), line by line
};

class CliTest : public ::testing::Test {
protected:
    // Runs the program to its end with the common options: no configuration of the build
    // folder, English texts, no progress.
    Result Run(std::vector<std::string> arguments, bool mergeStderr = false,
               const std::vector<std::string>& environment = {}) {
        arguments.insert(arguments.begin(), {"--config", dir.FilePath("none.ini"), "--language",
                                             "English", "--quiet"});
        ChildProcess child;
        Result result;
        if (!child.Start(Program, arguments, environment, mergeStderr)) {
            ADD_FAILURE() << "cannot start " << Program;
            return result;
        }
        while (auto line = child.ReadLine(120000)) {
            result.lines.push_back(*line);
        }
        result.code = child.Wait(120000).value_or(-1);
        return result;
    }

    // The lines that are JSON objects.
    static std::vector<std::string> Objects(const Result& result) {
        std::vector<std::string> objects;
        for (const auto& line : result.lines) {
            if (!line.empty() && line.front() == '{') {
                objects.push_back(line);
            }
        }
        return objects;
    }
    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    // The string value of a key in one JSON object line ("" when absent).
    static std::string Field(const std::string& object, const std::string& key) {
        const std::string marker = "\"" + key + "\":\"";
        const size_t at = object.find(marker);
        if (at == std::string::npos) {
            return {};
        }
        std::string value;
        for (size_t i = at + marker.size(); i < object.size() && object[i] != '"'; ++i) {
            if (object[i] == '\\' && i + 1 < object.size()) {
                ++i;
            }
            value += object[i];
        }
        return value;
    }
    // Downloads url with curl into a file and returns the file's SHA-256.
    std::string Download(const std::string& url, const std::string& name) {
        ChildProcess curl;
        const std::string target = dir.FilePath("down-" + name);
        if (!curl.Start("/usr/bin/curl", {"-sf", "-o", target, url})) {
            return "curl did not start";
        }
        if (curl.Wait(60000).value_or(-1) != 0) {
            return "curl failed";
        }
        return FileSha256(target);
    }

    TempDir dir;
};

// The scripted service: the information answer, then what the test adds.
std::string Answer(const std::string& head, const std::string& body) {
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}
void ServeInfo(ScriptedServer& server) {
    server.Respond(Answer("200 OK", "size=100\nversion=1.00.0009\n"));
}
void ServeUploadPage(ScriptedServer& server) {
    server.Respond(Answer("200 OK\r\nSet-Cookie: PHPSESSID=abc; path=/",
                          "<FORM name=uploadform onsubmit=\"return postIt();\" action=\"" +
                              server.BaseUrl() + "upload.php\">"));
}
void ServeRestOfUpload(ScriptedServer& server, const std::string& name) {
    const std::string base = server.BaseUrl();
    server.Respond(Answer("302 Found\r\nLocation: " + base + "done.php", ""));
    server.Respond(Answer("200 OK", "ok"));
    server.Respond(Answer("200 OK", "<A id=downloadhref href=\"" + base + "d/" + name +
                                        "\">x</A><A id=filedelhref href=\"" + base + "del/" + name +
                                        "\">y</A>"));
}

TEST_F(CliTest, UploadsSeveralFilesThatDownloadBackByteForByte) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::vector<std::pair<std::string, int64_t>> files = {
        {"one.bin", 3 * 1024 * 1024 + 17}, {"two words.txt", 1}, {"three.dat", 70000}};
    std::vector<std::string> paths;
    for (size_t i = 0; i < files.size(); ++i) {
        paths.push_back(
            dir.WriteRandomFile(files[i].first, files[i].second, static_cast<uint32_t>(i + 7)));
    }
    auto arguments = paths;
    arguments.insert(arguments.begin(),
                     {"--base-url", service.BaseUrl(), "--log", dir.FilePath("upload.log")});
    const Result result = Run(arguments);
    ASSERT_EQ(result.code, 0);
    ASSERT_EQ(result.lines.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(Contains(result.lines[i], service.BaseUrl())) << result.lines[i];
        EXPECT_EQ(Download(result.lines[i], std::to_string(i)), FileSha256(paths[i]))
            << files[i].first;
    }
    // The log is English and holds one entry per file.
    const std::string log = ReadFile(dir.FilePath("upload.log"));
    for (const auto& line : result.lines) {
        EXPECT_TRUE(Contains(log, line));
    }
}

TEST_F(CliTest, JsonReportsEveryFileWithItsLinksAndEscapedNames) {
    ServiceProcess service({"--max-size-mb", "1"});
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string odd = dir.WriteFile("say \"hi\" \\ now.txt", "odd name");
    const std::string big = dir.WriteRandomFile("big.bin", 1024 * 1024 + 1);
    const std::string plain = dir.WriteFile("plain.txt", "plain");
    const Result result =
        Run({"--base-url", service.BaseUrl(), "--json", "--publish", "--description",
             std::string(70, 'd'), odd, big, plain, plain, dir.FilePath("missing.txt")},
            true);
    EXPECT_EQ(result.code, 1); // the big file, the second plain.txt and the missing file

    const auto objects = Objects(result);
    ASSERT_EQ(objects.size(), 5u);
    EXPECT_EQ(Field(objects[4], "state"), "REFUSED");
    EXPECT_EQ(Field(objects[0], "name"), "say \"hi\" \\ now.txt");
    EXPECT_TRUE(Contains(objects[0], R"("name":"say \"hi\" \\ now.txt")"));
    EXPECT_EQ(Field(objects[0], "state"), "COMPLETE");
    EXPECT_EQ(Download(Field(objects[0], "download_url"), "odd"), FileSha256(odd));
    EXPECT_TRUE(Contains(Field(objects[0], "delete_url"), service.BaseUrl()));
    EXPECT_TRUE(Contains(objects[0], "\"size\":8,"));

    EXPECT_EQ(Field(objects[1], "state"), "REFUSED");
    EXPECT_EQ(Field(objects[1], "download_url"), "");
    EXPECT_TRUE(Contains(objects[1], "\"size\":1048577,"));
    EXPECT_EQ(Field(objects[2], "state"), "COMPLETE");
    EXPECT_EQ(Field(objects[3], "state"), "REFUSED"); // named twice: one row

    // The refusals were told on stderr, in the language chosen.
    bool tooLarge = false, twice = false;
    for (const auto& line : result.lines) {
        tooLarge = tooLarge || (Contains(line, "big.bin") && Contains(line, "1 MB"));
        twice = twice || (Contains(line, "plain.txt") && Contains(line, "already"));
    }
    EXPECT_TRUE(tooLarge);
    EXPECT_TRUE(twice);

    // The options reached the service with the rows: the description cut to 60 characters.
    bool stored = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(service.Storage())) {
        if (entry.is_regular_file()) {
            const std::string content = ReadFile(entry.path().string());
            stored = stored || (Contains(content, std::string(60, 'd')) &&
                                !Contains(content, std::string(61, 'd')));
        }
    }
    EXPECT_TRUE(stored) << "no stored description of 60 characters in " << service.Storage();
}

TEST_F(CliTest, UnreachableServiceEndsWithCodeThree) {
    const std::string file = dir.WriteFile("a.txt", "a");
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(FreePort()) + "/";
    // The base URL from the environment, as the window takes it.
    const Result result = Run({file}, true, {"VOSTRAND_BASE_URL=" + nowhere});
    EXPECT_EQ(result.code, 3);
    bool told = false;
    for (const auto& line : result.lines) {
        told = told || Contains(line, "service information could not be fetched");
        EXPECT_NE(line.rfind("http", 0), 0u) << "a link was printed: " << line;
    }
    EXPECT_TRUE(told);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
};

class UsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, BadCommandLinesEndWithCodeTwo) {
    const Result result = Run(GetParam().arguments, true);
    EXPECT_EQ(result.code, 2);
    ASSERT_FALSE(result.lines.empty());
    EXPECT_TRUE(Contains(result.lines.front(), "vostrand-upload: ")) << result.lines.front();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageTest,
    ::testing::Values(UsageCase{"NoFile", {}}, UsageCase{"UnknownOption", {"--fast", "a"}},
                      UsageCase{"MissingValue", {"a", "--timeout"}},
                      UsageCase{"ZeroTimeout", {"--timeout", "0", "a"}},
                      UsageCase{"BadProxy", {"--proxy", "nohost", "a"}},
                      UsageCase{"FlagWithValue", {"--json=yes", "a"}},
                      UsageCase{"UnknownLanguage", {"--language", "Klingon", "a"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, StalledUploadEndsInErrorAfterTheTimeout) {
    ScriptedServer server;
    ServeInfo(server);
    ServeUploadPage(server);
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Hang()});
    const std::string file = dir.WriteFile("stuck.txt", "stuck");
    const Result result =
        Run({"--base-url", server.BaseUrl(), "--timeout", "2", "--retries", "0", "--json", file});
    EXPECT_EQ(result.code, 1);
    const auto objects = Objects(result);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(Field(objects[0], "state"), "ERROR");
    EXPECT_EQ(Field(objects[0], "status"), "Error");
    EXPECT_EQ(server.ConnectionCount(), 3);
}

TEST_F(CliTest, RetryRecoversFromAFailedFirstAttempt) {
    ScriptedServer server;
    ServeInfo(server);
    server.Respond(Answer("503 Service Unavailable", "busy")); // first attempt
    ServeUploadPage(server);                                   // the retry
    ServeRestOfUpload(server, "late.txt");
    const std::string file = dir.WriteFile("late.txt", "late");
    const Result result = Run({"--base-url", server.BaseUrl(), "--retries", "1", file});
    EXPECT_EQ(result.code, 0);
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0], server.BaseUrl() + "d/late.txt");
    EXPECT_EQ(server.ConnectionCount(), 6);
}

TEST_F(CliTest, NoRetriesLeftEndsWithCodeOne) {
    ScriptedServer server;
    ServeInfo(server);
    server.Respond(Answer("503 Service Unavailable", "busy"));
    const std::string file = dir.WriteFile("late.txt", "late");
    const Result result = Run({"--base-url", server.BaseUrl(), "--retries", "0", file});
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(server.ConnectionCount(), 2);
}

TEST_F(CliTest, InterruptCancelsTheRunningUploadAndStillReports) {
    ScriptedServer server;
    ServeInfo(server);
    ServeUploadPage(server);
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Hang()});
    const std::string first = dir.WriteFile("first.txt", "first");
    const std::string second = dir.WriteFile("second.txt", "second");

    ChildProcess child;
    ASSERT_TRUE(
        child.Start(Program, {"--config", dir.FilePath("none.ini"), "--language", "English",
                              "--quiet", "--json", "--base-url", server.BaseUrl(), first, second}));
    // Wait until the file post has arrived and hangs.
    for (int i = 0; i < 600 && server.ConnectionCount() < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(server.ConnectionCount(), 3);
    ASSERT_TRUE(child.Signal(SIGINT));
    std::vector<std::string> lines;
    while (auto line = child.ReadLine(60000)) {
        lines.push_back(*line);
    }
    EXPECT_EQ(child.Wait(60000).value_or(-1), 130);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Field(lines[0], "state"), "IDLE");
    EXPECT_EQ(Field(lines[0], "status"), "Cancelled");
    EXPECT_EQ(Field(lines[1], "state"), "IDLE");
    EXPECT_EQ(server.ConnectionCount(), 3); // the second file was not started
}

TEST_F(CliTest, ConfigurationIsReadNeverWrittenAndOptionsOverrideIt) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string config =
        dir.WriteFile("config.ini", "[Service]\r\nbase_url=" + service.BaseUrl() +
                                        "\r\n[Proxy]\r\nuse=1\r\nhostname=127.0.0.1\r\nport=" +
                                        std::to_string(FreePort()) +
                                        "\r\n[Upload]\r\nremove_complete_files=1\r\n");
    const std::string file = dir.WriteFile("conf.txt", "configured");

    // The configured proxy answers nowhere.
    EXPECT_EQ(Run({"--config", config, file}).code, 3);

    // Without it the configured service takes the file; rows stay for the summary although the
    // configuration removes finished rows.
    const Result result = Run({"--config", config, "--no-proxy", file});
    EXPECT_EQ(result.code, 0);
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0].rfind(service.BaseUrl(), 0), 0u) << result.lines[0];
    EXPECT_EQ(ReadFile(config).find("[Main]"), std::string::npos) << "config.ini was written";
}

TEST_F(CliTest, PremiumLoginTakesItsPasswordFromTheEnvironment) {
    ServiceProcess service({"--premium", "alice:wonder"});
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string file = dir.WriteFile("premium.txt", "premium");
    const Result result = Run({"--base-url", service.BaseUrl(), "--premium", "alice", file}, false,
                              {"VOSTRAND_PREMIUM_PASSWORD=wonder"});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.lines.size(), 1u);

    const Result wrong = Run({"--base-url", service.BaseUrl(), "--premium", "alice:nope",
                              "--retries", "0", "--json", file},
                             false, {"VOSTRAND_PREMIUM_PASSWORD=wonder"});
    EXPECT_EQ(wrong.code, 1);
    ASSERT_EQ(Objects(wrong).size(), 1u);
    EXPECT_EQ(Field(Objects(wrong)[0], "state"), "ERROR");
}

TEST_F(CliTest, UploadsThroughAnAuthenticatingProxy) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << service.Output();
    Tinyproxy proxy("user", "secret");
    ASSERT_TRUE(proxy.Ok()) << proxy.Log();
    const std::string file = dir.WriteRandomFile("via-proxy.bin", 200000);
    const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());

    // The password left out of --proxy-user comes from the environment.
    const Result result = Run(
        {"--base-url", service.BaseUrl(), "--proxy", proxyAddress, "--proxy-user", "user", file},
        false, {"VOSTRAND_PROXY_PASSWORD=secret"});
    ASSERT_EQ(result.code, 0) << proxy.Log();
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(Download(result.lines[0], "proxy"), FileSha256(file));
    EXPECT_TRUE(Contains(proxy.Log(), "upload.php")) << proxy.Log();

    // A wrong password: the proxy refuses the information query.
    const Result refused = Run({"--base-url", service.BaseUrl(), "--proxy", proxyAddress,
                                "--proxy-user", "user:wrong", file});
    EXPECT_EQ(refused.code, 3);
}

} // namespace
