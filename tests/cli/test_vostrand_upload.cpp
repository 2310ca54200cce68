// vostrand-upload end to end: the program runs as a child process against vostrand-service,
// tinyproxy or a scripted server started here; its output, its exit code and what the service
// received are checked.
#include "ChildProcess.h"
#include "FreePort.h"
#include "ScriptedServer.h"
#include "ServiceProcess.h"
#include "TempDir.h"
#include "TestPki.h"
#include "Tinyproxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

using namespace testsupport;

namespace {

const std::string Program = VOSTRAND_BIN_DIR "/vostrand-upload";
constexpr int Patience = 120000; // ms; only a failing test waits this long

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The string value of a key in one JSON object line ("" when absent).
std::string Field(const std::string& object, const std::string& key) {
    const std::string marker = "\"" + key + "\":\"";
    const size_t at = object.find(marker);
    std::string value;
    for (size_t i = at + marker.size(); at != std::string::npos && object[i] != '"'; ++i) {
        i += object[i] == '\\' ? 1 : 0;
        value += object[i];
    }
    return value;
}

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

class CliTest : public ::testing::Test {
protected:
    struct Result {
        int code = -1;
        std::vector<std::string> lines; // stdout (and stderr when merged)
        std::vector<std::string> Objects() const {
            std::vector<std::string> objects;
            for (const auto& line : lines) {
                if (!line.empty() && line.front() == '{') {
                    objects.push_back(line);
                }
            }
            return objects;
        }
        bool Says(const std::string& part) const {
            for (const auto& line : lines) {
                if (Contains(line, part)) {
                    return true;
                }
            }
            return false;
        }
    };

    // No configuration of the build folder, English texts, no progress.
    std::vector<std::string> Common() const {
        return {"--config", dir.FilePath("none.ini"), "--language", "English", "--quiet"};
    }

    Result Run(const std::vector<std::string>& arguments, bool mergeStderr = false,
               const std::vector<std::string>& environment = {}) {
        auto all = Common();
        all.insert(all.end(), arguments.begin(), arguments.end());
        ChildProcess child;
        Result result;
        if (!child.Start(Program, all, environment, mergeStderr)) {
            ADD_FAILURE() << "cannot start " << Program;
            return result;
        }
        while (auto line = child.ReadLine(Patience)) {
            result.lines.push_back(*line);
        }
        result.code = child.Wait(Patience).value_or(-1);
        return result;
    }

    // Downloads url with curl (https checked against caFile); the SHA-256 of what came.
    std::string Download(const std::string& url, const std::string& caFile = {}) {
        ChildProcess curl;
        const std::string target = dir.FilePath("download-" + std::to_string(++m_Downloads));
        std::vector<std::string> arguments = {"-sf", "-o", target, url};
        if (!caFile.empty()) {
            arguments.insert(arguments.end(), {"--cacert", caFile});
        }
        if (!curl.Start("/usr/bin/curl", arguments) || curl.Wait(Patience).value_or(-1) != 0) {
            return "download of " + url + " failed";
        }
        return FileSha256(target);
    }

    TempDir dir;

private:
    int m_Downloads = 0;
};

TEST_F(CliTest, UploadsSeveralFilesThatDownloadBackByteForByte) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::vector<std::string> paths = {dir.WriteRandomFile("one.bin", 3 * 1048576 + 17, 7),
                                            dir.WriteRandomFile("two words.txt", 1, 8),
                                            dir.WriteRandomFile("three.dat", 70000, 9)};
    std::vector<std::string> arguments = {"--base-url", service.BaseUrl(), "--log",
                                          dir.FilePath("upload.log")};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const Result result = Run(arguments);
    ASSERT_EQ(result.code, 0);
    ASSERT_EQ(result.lines.size(), paths.size());
    const std::string log = ReadFile(dir.FilePath("upload.log"));
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(Download(result.lines[i]), FileSha256(paths[i])) << paths[i];
        EXPECT_TRUE(Contains(log, result.lines[i]));
    }
}

TEST_F(CliTest, JsonReportsEveryFileAndRefusalsEndWithCodeOne) {
    ServiceProcess service({"--max-size-mb", "1"});
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string odd = dir.WriteFile("say \"hi\" \\ now.txt", "odd name");
    const std::string big = dir.WriteRandomFile("big.bin", 1048576 + 1);
    const std::string plain = dir.WriteFile("plain.txt", "plain");
    const Result result =
        Run({"--base-url", service.BaseUrl(), "--json", "--publish", "--description",
             std::string(70, 'd'), odd, big, plain, plain, dir.FilePath("missing.txt")},
            true);
    EXPECT_EQ(result.code, 1);
    const auto objects = result.Objects();
    ASSERT_EQ(objects.size(), 5u);
    EXPECT_TRUE(Contains(objects[0], R"("name":"say \"hi\" \\ now.txt","size":8,)")) << objects[0];
    EXPECT_EQ(Field(objects[0], "state"), "COMPLETE");
    EXPECT_EQ(Download(Field(objects[0], "download_url")), FileSha256(odd));
    EXPECT_TRUE(Contains(Field(objects[0], "delete_url"), service.BaseUrl()));
    EXPECT_EQ(Field(objects[1], "state"), "REFUSED");
    EXPECT_TRUE(Contains(objects[1], R"("size":1048577,)"));
    EXPECT_EQ(Field(objects[1], "download_url"), "");
    EXPECT_EQ(Field(objects[2], "state"), "COMPLETE");
    EXPECT_EQ(Field(objects[3], "state"), "REFUSED"); // named twice: one row
    EXPECT_EQ(Field(objects[4], "state"), "REFUSED");
    // The refusals were told on stderr, in the language chosen.
    EXPECT_TRUE(result.Says("big.bin") && result.Says("1 MB"));
    EXPECT_TRUE(result.Says("already"));

    // The options reached the service: the description cut to 60 characters.
    bool stored = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(service.Storage())) {
        const std::string content = entry.is_regular_file() ? ReadFile(entry.path()) : "";
        stored = stored || (Contains(content, std::string(60, 'd')) &&
                            !Contains(content, std::string(61, 'd')));
    }
    EXPECT_TRUE(stored) << "no description of 60 characters in " << service.Storage();
}

TEST_F(CliTest, UnreachableServiceEndsWithCodeThree) {
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(FreePort()) + "/";
    // The base URL from the environment, as the window takes it.
    const Result result =
        Run({dir.WriteFile("a.txt", "a")}, true, {"VOSTRAND_BASE_URL=" + nowhere});
    EXPECT_EQ(result.code, 3);
    EXPECT_TRUE(result.Says("service information could not be fetched"));
    for (const auto& line : result.lines) {
        EXPECT_NE(line.rfind("http", 0), 0u) << "a link was printed: " << line;
    }
}

// A service with a certificate from a private authority: refused with the reason until the
// authority is trusted, by --ca-file or by ca_file in the configuration.
TEST_F(CliTest, HttpsServiceIsTrustedOnlyWithItsAuthority) {
    TestPki pki;
    ASSERT_TRUE(pki.Ok()) << pki.Error();
    ServiceProcess service(pki.ServiceArguments(TestPki::Good));
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string file = dir.WriteRandomFile("tls.bin", 1048576 + 3, 5);

    const Result refused = Run({"--base-url", service.BaseUrl(), "--json", file}, true);
    EXPECT_EQ(refused.code, 3);
    EXPECT_TRUE(refused.Says("The certificate of 127.0.0.1 cannot be trusted: The issuer"));
    EXPECT_TRUE(refused.Objects().empty());

    const std::string config =
        dir.WriteFile("tls.ini", "[Service]\nca_file=\"" + pki.CaFile() + "\"\n");
    for (const auto& trust :
         std::vector<std::vector<std::string>>{{"--ca-file", pki.CaFile()}, {"--config", config}}) {
        SCOPED_TRACE(trust.front());
        auto arguments = trust;
        arguments.insert(arguments.end(), {"--base-url", service.BaseUrl(), "--json", file});
        const Result result = Run(arguments);
        EXPECT_EQ(result.code, 0);
        ASSERT_EQ(result.Objects().size(), 1u);
        EXPECT_EQ(Field(result.Objects()[0], "state"), "COMPLETE");
        EXPECT_EQ(Download(Field(result.Objects()[0], "download_url"), pki.CaFile()),
                  FileSha256(file));
    }
}

TEST_F(CliTest, BadCommandLinesEndWithCodeTwo) {
    const std::vector<std::vector<std::string>> cases = {{},
                                                         {"--fast", "a"},
                                                         {"a", "--timeout"},
                                                         {"--timeout", "0", "a"},
                                                         {"--proxy", "nohost", "a"},
                                                         {"--json=yes", "a"},
                                                         {"--language", "Klingon", "a"},
                                                         {"--ca-file", "/no/such.pem", "a"}};
    for (const auto& arguments : cases) {
        const Result result = Run(arguments, true);
        EXPECT_EQ(result.code, 2) << ::testing::PrintToString(arguments);
        EXPECT_TRUE(result.Says("vostrand-upload: ")) << ::testing::PrintToString(arguments);
    }
}

TEST_F(CliTest, StalledUploadEndsInErrorAfterTheTimeout) {
    ScriptedServer server;
    ServeInfo(server);
    ServeUploadPage(server);
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Hang()});
    const Result result = Run({"--base-url", server.BaseUrl(), "--timeout", "2", "--retries", "0",
                               "--json", dir.WriteFile("stuck.txt", "stuck")});
    EXPECT_EQ(result.code, 1);
    ASSERT_EQ(result.Objects().size(), 1u);
    EXPECT_EQ(Field(result.Objects()[0], "state"), "ERROR");
    EXPECT_EQ(Field(result.Objects()[0], "status"), "Error");
    EXPECT_EQ(server.ConnectionCount(), 3);
}

TEST_F(CliTest, RetryRecoversFromAFailedFirstAttempt) {
    ScriptedServer server;
    ServeInfo(server);
    server.Respond(Answer("503 Service Unavailable", "busy")); // the first attempt
    ServeUploadPage(server);                                   // the retry
    const std::string base = server.BaseUrl();
    server.Respond(Answer("302 Found\r\nLocation: " + base + "done.php", ""));
    server.Respond(Answer("200 OK", "ok"));
    server.Respond(Answer("200 OK", "<A id=downloadhref href=\"" + base +
                                        "d/late\">x</A><A id=filedelhref href=\"" + base +
                                        "del/late\">y</A>"));
    const Result result =
        Run({"--base-url", base, "--retries", "1", dir.WriteFile("late.txt", "late")});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.lines, std::vector<std::string>{base + "d/late"});
}

TEST_F(CliTest, InterruptCancelsTheRunningUploadAndStillReports) {
    ScriptedServer server;
    ServeInfo(server);
    ServeUploadPage(server);
    server.Add({Step::ReadUntil("\r\n\r\n"), Step::Hang()});
    auto arguments = Common();
    for (const std::string& more :
         {std::string("--json"), std::string("--base-url"), server.BaseUrl(),
          dir.WriteFile("first.txt", "first"), dir.WriteFile("second.txt", "second")}) {
        arguments.push_back(more);
    }
    ChildProcess child;
    ASSERT_TRUE(child.Start(Program, arguments));
    // The file post has arrived and hangs.
    ASSERT_TRUE(server.WaitForConnections(3, Patience));
    ASSERT_TRUE(child.Signal(SIGINT));
    std::vector<std::string> lines;
    while (auto line = child.ReadLine(Patience)) {
        lines.push_back(*line);
    }
    EXPECT_EQ(child.Wait(Patience).value_or(-1), 130);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Field(lines[0], "state"), "IDLE");
    EXPECT_EQ(Field(lines[0], "status"), "Cancelled");
    EXPECT_EQ(Field(lines[1], "state"), "IDLE");
    EXPECT_EQ(server.ConnectionCount(), 3); // the second file was not started
}

TEST_F(CliTest, ProxyPasswordComesFromTheEnvironmentThenTheConfiguration) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << service.Output();
    Tinyproxy proxy("user", "secret");
    ASSERT_TRUE(proxy.Ok()) << proxy.Log();
    const std::string file = dir.WriteRandomFile("via-proxy.bin", 200000);
    const std::string secret = "VOSTRAND_PROXY_PASSWORD=secret";

    const Result given =
        Run({"--base-url", service.BaseUrl(), "--proxy",
             "127.0.0.1:" + std::to_string(proxy.Port()), "--proxy-user", "user", file},
            false, {secret});
    ASSERT_EQ(given.code, 0) << proxy.Log();
    ASSERT_EQ(given.lines.size(), 1u);
    EXPECT_EQ(Download(given.lines[0]), FileSha256(file));
    EXPECT_TRUE(Contains(proxy.Log(), "upload.php")) << proxy.Log();

    // The configured proxy user with a wrong stored password: the environment's wins; without it
    // the proxy refuses. Finished rows stay for the summary although the configuration removes
    // them, and config.ini is read, never written.
    const std::string content =
        "[Service]\r\nbase_url=" + service.BaseUrl() +
        "\r\n[Proxy]\r\nuse=1\r\nhostname=127.0.0.1\r\nport=" + std::to_string(proxy.Port()) +
        "\r\nusername=user\r\npassword=wrong\r\n"
        "[Upload]\r\nremove_complete_files=1\r\n";
    const std::string config = dir.WriteFile("config.ini", content);
    const Result configured = Run({"--config", config, file}, false, {secret});
    EXPECT_EQ(configured.code, 0);
    ASSERT_EQ(configured.lines.size(), 1u);
    EXPECT_EQ(configured.lines[0].rfind(service.BaseUrl(), 0), 0u) << configured.lines[0];
    EXPECT_EQ(Run({"--config", config, file}).code, 3);
    EXPECT_EQ(Run({"--config", config, "--no-proxy", file}).code, 0);
    EXPECT_EQ(ReadFile(config), content);
}

TEST_F(CliTest, PremiumLoginTakesItsPasswordFromTheEnvironment) {
    ServiceProcess service({"--premium", "alice:wonder"});
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string file = dir.WriteFile("premium.txt", "premium");
    for (const std::string password : {"wonder", "nope"}) {
        const Result result =
            Run({"--base-url", service.BaseUrl(), "--premium", "alice", "--retries", "0", file},
                false, {"VOSTRAND_PREMIUM_PASSWORD=" + password});
        EXPECT_EQ(result.code, password == "wonder" ? 0 : 1) << password;
    }
}

// The progress line on a terminal 40 columns wide (script(1) gives the program one): redrawn in
// place, so never wider than the terminal and free of the control characters a name may hold.
TEST_F(CliTest, ProgressLineFitsTheTerminal) {
    ServiceProcess service;
    ASSERT_TRUE(service.Ok()) << service.Output();
    const std::string file = dir.WriteRandomFile(std::string(70, 'n') + "\x1b[2J\t.bin", 300000);
    std::string command = "stty cols 40 rows 24; exec";
    for (const auto& argument :
         {Program, std::string("--config"), dir.FilePath("none.ini"), std::string("--language"),
          std::string("English"), std::string("--base-url"), service.BaseUrl(), file}) {
        command += " '" + argument + "'";
    }
    ChildProcess child;
    ASSERT_TRUE(child.Start("/usr/bin/script", {"-qec", command + " >/dev/null", "/dev/null"}));
    std::string output;
    while (auto line = child.ReadLine(Patience)) {
        output += *line + "\n";
    }
    child.Wait(Patience);

    const std::string redraw = "\r\033[K";
    int drawn = 0;
    for (size_t at = output.find(redraw); at != std::string::npos; at = output.find(redraw, at)) {
        at += redraw.size();
        const std::string line = output.substr(at, output.find_first_of("\r\n", at) - at);
        ++drawn;
        EXPECT_LT(line.size(), 40u) << line;
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](unsigned char c) {
            return c >= 0x20;
        })) << line;
    }
    EXPECT_GT(drawn, 0) << output;
}

} // namespace
