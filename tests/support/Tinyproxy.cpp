#include "Tinyproxy.h"

#include "FreePort.h"

#include <signal.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::string Program() {
    if (::access("/usr/bin/tinyproxy", X_OK) == 0)
        return "/usr/bin/tinyproxy";
    return "tinyproxy"; // on PATH
}

} // namespace

Tinyproxy::Tinyproxy(const std::string& user, const std::string& password) {
    // Another process may take the free port between our look and tinyproxy's bind: try again.
    for (int attempt = 0; attempt < 3 && m_Port == 0; ++attempt) {
        const int32_t port = FreePort();
        if (port != 0 && StartOn(port, user, password))
            m_Port = port;
    }
}

Tinyproxy::~Tinyproxy() {
    Stop();
}

bool Tinyproxy::StartOn(int32_t port, const std::string& user, const std::string& password) {
    std::string config = "Port " + std::to_string(port) +
                         "\n"
                         "Listen 127.0.0.1\n"
                         "Allow 127.0.0.1\n"
                         "Timeout 60\n"
                         "MaxClients 16\n"
                         "DisableViaHeader Yes\n"
                         "LogLevel Info\n"
                         "LogFile \"" +
                         m_Dir.FilePath("tinyproxy.log") +
                         "\"\n"
                         "PidFile \"" +
                         m_Dir.FilePath("tinyproxy.pid") + "\"\n";
    if (!user.empty())
        config += "BasicAuth " + user + " " + password + "\n";
    const std::string file = m_Dir.WriteFile("tinyproxy.conf", config);
    if (file.empty() || !m_Process.Start(Program(), {"-d", "-c", file}))
        return false;
    for (int waited = 0; waited < 10000; waited += 100) {
        if (!m_Process.Running())
            break;
        if (WaitForPort(port, 100))
            return true;
    }
    m_Process.Kill();
    return false;
}

std::string Tinyproxy::Log() const {
    return ReadFile(m_Dir.FilePath("tinyproxy.log"));
}

void Tinyproxy::Stop() {
    if (m_Process.Signal(SIGTERM) && !m_Process.Wait(5000))
        m_Process.Kill();
    m_Port = 0;
}

} // namespace testsupport
