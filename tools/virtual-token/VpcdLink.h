#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class VirtualToken;

// Puts a virtual token on a vpcd reader of pcscd: while the token is
// inserted, the link holds a TCP connection to the reader's port and answers
// what the driver sends (2-byte big-endian length, then the bytes; one byte
// is power off 0, power on 1, reset 2 or ATR request 4; more is an APDU).
// When the reader goes away (pcscd stops), the link keeps trying to reconnect
// until the token is removed. The token must outlive the link.
class VpcdLink
{
public:
    VpcdLink(VirtualToken& token, uint16_t port, std::string host = "127.0.0.1");
    ~VpcdLink();
    VpcdLink(const VpcdLink&) = delete;
    VpcdLink& operator=(const VpcdLink&) = delete;

    void insert();
    void remove();
    // Inserted: the operator's intent; connected: the reader holds the card.
    bool inserted() const { return m_inserted; }
    bool connected() const { return m_connected; }
    uint16_t port() const { return m_port; }

private:
    void run();
    int connectToReader() const;
    bool serve(int socket);
    void lift(int socket);
    bool waitFor(std::chrono::milliseconds timeout);
    void setAndWake(const std::function<void()>& change);

    VirtualToken& m_token;
    const uint16_t m_port;
    const std::string m_host;
    std::atomic<bool> m_inserted{false};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    int m_wakeFd = -1; // eventfd that breaks the wait for the reader's next message
    std::thread m_thread;
};
