#include "InterruptNotifier.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end for the handler: a signal handler can reach nothing else.
std::atomic<int> g_interruptPipe{-1};

void ForwardInterrupt(int)
{
    const int fd = g_interruptPipe.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
}

} // namespace

InterruptNotifier::InterruptNotifier()
{
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_interruptPipe = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (read(m_pipe[0], bytes, sizeof bytes) > 0) {
        }
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = ForwardInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

InterruptNotifier::~InterruptNotifier()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_interruptPipe = -1;
    m_notifier.reset();
    for (int fd : m_pipe)
        if (fd >= 0)
            close(fd);
}
