#include "ChildProgram.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Reads what the pipe holds now into to; closes it at its end.
void Drain(int& fd, QByteArray& to)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            to.append(buffer, static_cast<qsizetype>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            CloseFd(fd);
        return;
    }
}

} // namespace

ChildProgram::ChildProgram(const QString& program, const QStringList& arguments,
                           const QStringList& environment, const QString& workingDirectory)
{
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        m_startError = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    std::vector<std::string> texts{program.toStdString()};
    for (const QString& argument : arguments)
        texts.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    std::vector<std::string> envTexts;
    for (char** entry = environ; *entry; ++entry)
        envTexts.emplace_back(*entry);
    for (const QString& entry : environment)
        envTexts.push_back(entry.toStdString());
    std::vector<char*> envp;
    for (std::string& text : envTexts)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    const std::string directory = workingDirectory.toStdString();
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = -1;
    const int result = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    m_inFd = in[1];
    m_outFd = out[0];
    m_errFd = err[0];
    if (result != 0) {
        m_startError =
            program + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(result));
        CloseFd(m_inFd);
        CloseFd(m_outFd);
        CloseFd(m_errFd);
        return;
    }
    m_pid = pid;
    ::fcntl(m_outFd, F_SETFL, O_NONBLOCK);
    ::fcntl(m_errFd, F_SETFL, O_NONBLOCK);
}

ChildProgram::~ChildProgram()
{
    if (running()) {
        ::kill(m_pid, SIGKILL);
        finish(std::chrono::hours(1));
    }
    CloseFd(m_inFd);
    CloseFd(m_outFd);
    CloseFd(m_errFd);
}

bool ChildProgram::serve(Clock::time_point deadline)
{
    if (m_ended)
        return false;
    const qsizetype before = m_out.size() + m_err.size();
    while (m_outFd >= 0 || m_errFd >= 0) {
        pollfd fds[2];
        nfds_t count = 0;
        for (int fd : {m_outFd, m_errFd})
            if (fd >= 0)
                fds[count++] = {fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        const int ready = ::poll(fds, count, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        if (m_outFd >= 0)
            Drain(m_outFd, m_out);
        if (m_errFd >= 0)
            Drain(m_errFd, m_err);
        if (m_out.size() + m_err.size() != before)
            return true;
    }
    // Both pipes ended: the program has ended, or is about to.
    Reap();
    return true;
}

int ChildProgram::finish(Clock::duration timeout)
{
    if (!started())
        return -1;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!m_ended && Clock::now() < deadline)
        serve(deadline);
    if (!m_ended)
        return -1;
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

int ChildProgram::run(Clock::duration timeout)
{
    closeInput();
    return finish(timeout);
}

void ChildProgram::signal(int signal)
{
    if (running())
        ::kill(m_pid, signal);
}

void ChildProgram::closeInput()
{
    CloseFd(m_inFd);
}

void ChildProgram::Reap()
{
    if (m_ended || m_pid <= 0)
        return;
    while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
    }
    m_ended = true;
}
