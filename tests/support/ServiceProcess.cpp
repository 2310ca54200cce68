#include "ServiceProcess.h"

#include <signal.h>

#include <cstdlib>

namespace testsupport {

ServiceProcess::ServiceProcess(const std::vector<std::string>& extraArguments) {
    std::vector<std::string> arguments{"--port", "0", "--storage", m_Storage.Path(), "--quiet"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    if (!m_Process.Start(std::string(VOSTRAND_BIN_DIR) + "/vostrand-service", arguments))
        return;
    const auto line = m_Process.ReadLine(15000);
    // With --tls-cert the service serves https.
    const std::string prefix =
        line && line->rfind("https:", 0) == 0 ? "https://127.0.0.1:" : "http://127.0.0.1:";
    if (!line || line->rfind(prefix, 0) != 0) {
        Stop();
        return;
    }
    m_BaseUrl = *line;
    while (!m_BaseUrl.empty() && (m_BaseUrl.back() == ' ' || m_BaseUrl.back() == '\r'))
        m_BaseUrl.pop_back();
    if (m_BaseUrl.back() != '/')
        m_BaseUrl += '/';
    m_Port = std::atoi(m_BaseUrl.c_str() + prefix.size());
}

ServiceProcess::~ServiceProcess() {
    Stop();
}

void ServiceProcess::Stop() {
    if (m_Process.Signal(SIGTERM) && !m_Process.Wait(5000))
        m_Process.Kill();
}

} // namespace testsupport
