#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

extern char** environ;

namespace testsupport {

ChildProcess::~ChildProcess() {
    Kill();
    Release();
}

void ChildProcess::Release() {
    if (m_Wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(m_Wake[1], &byte, 1);
    }
    if (m_Reader.joinable())
        m_Reader.join();
    for (int* fd : {&m_Out, &m_Wake[0], &m_Wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    std::lock_guard lock(m_Mutex);
    m_Lines.clear();
    m_Partial.clear();
    m_OutputEnded = false;
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, bool mergeStderr) {
    if (Running())
        return false;
    Release(); // a program started before has ended: start afresh
    m_ExitCode.reset();
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(m_Wake, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }

    // Our environment with the given entries laid over it.
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        merged[entry.substr(0, entry.find('='))] = entry;
    }
    for (const auto& entry : environment)
        merged[entry.substr(0, entry.find('='))] = entry;
    std::vector<std::string> envStrings;
    for (auto& [name, entry] : merged)
        envStrings.push_back(entry);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (mergeStderr)
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    // A bare name is looked up on PATH.
    const auto spawn = program.find('/') == std::string::npos ? ::posix_spawnp : ::posix_spawn;
    const int rc = spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return false;
    }
    m_Pid = pid;
    m_Out = out[0];
    m_Reader = std::thread([this] { ReadOutput(); });
    return true;
}

void ChildProcess::ReadOutput() {
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{m_Wake[0], POLLIN, 0}, {m_Out, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN)
            break;
        const ssize_t got = ::read(m_Out, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        std::lock_guard lock(m_Mutex);
        m_Partial.append(buffer, static_cast<std::size_t>(got));
        std::size_t pos;
        while ((pos = m_Partial.find('\n')) != std::string::npos) {
            std::string line = m_Partial.substr(0, pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_Lines.push_back(std::move(line));
            m_Partial.erase(0, pos + 1);
        }
        m_Changed.notify_all();
    }
    std::lock_guard lock(m_Mutex);
    m_OutputEnded = true;
    m_Changed.notify_all();
}

std::optional<std::string> ChildProcess::ReadLine(int timeoutMs) {
    std::unique_lock lock(m_Mutex);
    m_Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return !m_Lines.empty() || m_OutputEnded; });
    if (m_Lines.empty())
        return std::nullopt;
    std::string line = std::move(m_Lines.front());
    m_Lines.pop_front();
    return line;
}

std::string ChildProcess::PendingOutput() {
    std::lock_guard lock(m_Mutex);
    std::string all;
    for (const auto& line : m_Lines)
        all += line + "\n";
    return all + m_Partial;
}

bool ChildProcess::Reap(bool block) {
    if (m_Pid <= 0)
        return true;
    int status = 0;
    const pid_t rc = ::waitpid(m_Pid, &status, block ? 0 : WNOHANG);
    if (rc == 0)
        return false;
    if (rc == m_Pid) {
        if (WIFEXITED(status))
            m_ExitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            m_ExitCode = 128 + WTERMSIG(status);
    }
    m_Pid = -1;
    return true;
}

bool ChildProcess::Running() {
    return m_Pid > 0 && !Reap(false);
}

std::optional<int> ChildProcess::Wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_ExitCode;
}

bool ChildProcess::Signal(int signalNumber) {
    return Running() && ::kill(m_Pid, signalNumber) == 0;
}

void ChildProcess::Kill() {
    if (!Running())
        return;
    ::kill(m_Pid, SIGKILL);
    Reap(true);
}

} // namespace testsupport
