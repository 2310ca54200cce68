#pragma once
// The reference service for integration tests: ${VOSTRAND_BIN_DIR}/vostrand-service on a free
// loopback port with its storage in a temporary folder; stopped with SIGTERM on destruction.
//
//     testsupport::ServiceProcess service;            // or ServiceProcess({"--max-size", "100"})
//     ASSERT_TRUE(service.Ok()) << service.Output();
//     client.Action = service.BaseUrl() + "toolconfig.php";
#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class ServiceProcess {
public:
    // Starts "vostrand-service --port 0 --storage <temp folder> --quiet" plus extraArguments and
    // waits (up to 15 s) for the base URL it prints as its first stdout line.
    explicit ServiceProcess(const std::vector<std::string>& extraArguments = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool Ok() const { return !m_BaseUrl.empty(); }
    // "http://127.0.0.1:<port>/" ("https://" with --tls-cert), always ending in "/"; "" when the
    // service did not start.
    const std::string& BaseUrl() const { return m_BaseUrl; }
    int32_t Port() const { return m_Port; }
    // The storage folder the service keeps its uploads in.
    const std::string& Storage() const { return m_Storage.Path(); }
    // What the service printed beyond its first line, for failure messages.
    std::string Output() { return m_Process.PendingOutput(); }
    ChildProcess& Process() { return m_Process; }
    // SIGTERM, then SIGKILL when it has not ended within 5 s.
    void Stop();

private:
    TempDir m_Storage;
    ChildProcess m_Process;
    std::string m_BaseUrl;
    int32_t m_Port = 0;
};

} // namespace testsupport
