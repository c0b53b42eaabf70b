#include "VpcdLink.h"

#include "VirtualToken.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr auto RECONNECT_PAUSE = std::chrono::milliseconds(50);

// vpcd writes a message's length and its bytes separately, with Nagle's
// algorithm on: if this end delays its acknowledgement of the length, the
// bytes wait about 40 ms for it. Acknowledging at once (which the kernel
// forgets after each read) keeps the rig from slowing every message down.
void AcknowledgeAtOnce(int socket)
{
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

bool ReadAll(int socket, uint8_t* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t got = recv(socket, bytes, count, 0);
        AcknowledgeAtOnce(socket);
        if (got <= 0)
            return false;
        bytes += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool SendFrame(int socket, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame{static_cast<uint8_t>(payload.size() >> 8),
                               static_cast<uint8_t>(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    return send(socket, frame.data(), frame.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(frame.size());
}

} // namespace

VpcdLink::VpcdLink(VirtualToken& token, uint16_t port, std::string host)
    : m_token(token), m_port(port), m_host(std::move(host)),
      m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_thread = std::thread([this] { run(); });
}

VpcdLink::~VpcdLink()
{
    setAndWake([this] { m_stop = true; });
    m_thread.join();
    close(m_wakeFd);
}

void VpcdLink::insert()
{
    setAndWake([this] { m_inserted = true; });
}

void VpcdLink::remove()
{
    setAndWake([this] { m_inserted = false; });
}

void VpcdLink::setAndWake(const std::function<void()>& change)
{
    {
        std::lock_guard lock(m_wakeLock);
        change();
    }
    m_wake.notify_all();
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

bool VpcdLink::waitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_wakeLock);
    return !m_wake.wait_for(lock, timeout, [this] { return m_stop.load(); });
}

int VpcdLink::connectToReader() const
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    if (inet_pton(AF_INET, m_host.c_str(), &address.sin_addr) != 1 ||
        connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(socket);
        return -1;
    }
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    AcknowledgeAtOnce(socket);
    // The driver sends whole messages; a stalled one must not hold the link forever.
    const timeval timeout{2, 0};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return socket;
}

void VpcdLink::run()
{
    while (!m_stop) {
        if (!m_inserted) {
            std::unique_lock lock(m_wakeLock);
            m_wake.wait(lock, [this] { return m_stop || m_inserted; });
            continue;
        }
        const int socket = connectToReader();
        if (socket < 0) {
            waitFor(RECONNECT_PAUSE); // the reader is not listening (yet)
            continue;
        }
        m_connected = true;
        while (m_inserted && !m_stop && serve(socket)) {
        }
        close(socket);
        m_connected = false;
        m_token.powerOff();
    }
}

// Waits for the reader's next message and answers it; false when the
// connection ends (the reader went away, or the card was lifted).
bool VpcdLink::serve(int socket)
{
    pollfd fds[2] = {{socket, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0)
        return true;
    if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
        return true; // the loop looks at the insert and stop requests
    }

    uint8_t header[2];
    if (!ReadAll(socket, header, sizeof header))
        return false;
    std::vector<uint8_t> message(static_cast<size_t>(header[0] << 8 | header[1]));
    if (!ReadAll(socket, message.data(), message.size()))
        return false;

    if (message.size() == 1) {
        switch (message[0]) {
        case 0:
            m_token.powerOff();
            return true;
        case 1:
            m_token.powerOn();
            return true;
        case 2:
            m_token.reset();
            return true;
        case 4:
            return SendFrame(socket, m_token.atr());
        default:
            return true;
        }
    }

    const TokenAnswer answer = m_token.answer(message.data(), message.size());
    if (answer.lift == TokenAnswer::Lift::BeforeAnswer) {
        lift(socket);
        return false;
    }
    if (answer.delay.count() > 0 && !waitFor(answer.delay))
        return false;
    while (answer.held && !m_token.waitForRelease(std::chrono::milliseconds(50)))
        if (m_stop)
            return false;
    if (!SendFrame(socket, answer.response))
        return false;
    if (answer.lift == TokenAnswer::Lift::AfterAnswer) {
        lift(socket);
        return false;
    }
    return true;
}

void VpcdLink::lift(int socket)
{
    // A card pulled from the field ends the exchange at once: reset the
    // connection rather than closing it in order, so the reader's next
    // exchange fails instead of reading an orderly, empty end.
    const linger abort{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    m_inserted = false;
}
