#pragma once
// A child program for tests: started with posix_spawn, its stdout read line by line on a
// background thread, killed (SIGKILL) and reaped on destruction if still running.
//
//     testsupport::ChildProcess child;
//     ASSERT_TRUE(child.Start("/usr/bin/prog", {"--port", "0"}));
//     auto line = child.ReadLine(10000);   // std::nullopt on timeout or end of output
//     child.Signal(SIGTERM);
//     auto code = child.Wait(5000);        // exit code, or 128 + signal number
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program (again, once an earlier one has ended). environment holds "NAME=value"
    // entries added to (or replacing in) this process's environment. stderr goes to this process's
    // stderr unless mergeStderr sends it into the stdout lines. False when the program could not be
    // started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment = {}, bool mergeStderr = false);

    // The next stdout line without its line break; nullopt when none came within timeoutMs or
    // the output ended.
    std::optional<std::string> ReadLine(int timeoutMs);
    // Every stdout line read so far and not yet taken by ReadLine, plus an unfinished last line.
    std::string PendingOutput();

    bool Running();
    // Waits for the end; the exit code (128 + signal when killed by one), nullopt on timeout.
    std::optional<int> Wait(int timeoutMs);
    bool Signal(int signalNumber);
    // SIGKILL and reap; nothing when it has ended already.
    void Kill();

    pid_t Pid() const { return m_Pid; }
    std::optional<int> ExitCode() const { return m_ExitCode; }

private:
    void ReadOutput();
    void Release();
    bool Reap(bool block);

    pid_t m_Pid = -1;
    std::optional<int> m_ExitCode;
    int m_Out = -1;
    int m_Wake[2] = {-1, -1};
    std::thread m_Reader;

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<std::string> m_Lines;
    std::string m_Partial;
    bool m_OutputEnded = false;
};

} // namespace testsupport
