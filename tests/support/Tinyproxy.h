#pragma once
// A tinyproxy on 127.0.0.1 for proxy tests: started in the foreground from a config written into
// its own temporary folder, ready when its port accepts connections, stopped on destruction.
//
//     testsupport::Tinyproxy proxy("user", "secret");   // Basic auth; no arguments: open proxy
//     ASSERT_TRUE(proxy.Ok()) << proxy.Log();
//     ... client with proxy 127.0.0.1:proxy.Port() ...
#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>

namespace testsupport {

class Tinyproxy {
public:
    // With a user name, only requests carrying "Proxy-Authorization: Basic" for user:password
    // are let through.
    explicit Tinyproxy(const std::string& user = {}, const std::string& password = {});
    ~Tinyproxy();
    Tinyproxy(const Tinyproxy&) = delete;
    Tinyproxy& operator=(const Tinyproxy&) = delete;

    bool Ok() const { return m_Port != 0; }
    int32_t Port() const { return m_Port; }
    // tinyproxy's log so far, for failure messages.
    std::string Log() const;
    void Stop();

private:
    bool StartOn(int32_t port, const std::string& user, const std::string& password);

    TempDir m_Dir;
    ChildProcess m_Process;
    int32_t m_Port = 0;
};

} // namespace testsupport
