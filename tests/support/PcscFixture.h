#pragma once

// PcscFixture: a private PC/SC stack for one test process, with virtual
// tokens the test holds in-process.
//
// It starts its own pcscd (in a private mount namespace, so it never meets the
// system's pcscd or another test's) with vpcd readers on free TCP ports,
// points this process's PC/SC client at it (PCSCLITE_CSOCK_NAME) and stops
// and cleans it up on destruction, also when the test fails. Each vpcd entry
// gives two readers ("slots"): slots 0 and 1 are "Virtual PCD 00 00" and
// "Virtual PCD 00 01"; with more pairs, slots 2 and 3 are "Virtual PCD B 00 00"
// and "Virtual PCD B 00 01", and so on.
//
//   #include "PcscFixture.h"
//
//   PcscFixture pcsc;                                  // GoogleTest
//   ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
//   auto token = std::make_shared<VirtualToken>(VirtualTokenSettings{.serial = "TK0001"});
//   ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
//   TokenReadInfo(pcsc.readerName(0).c_str(), ...);    // or the console with that reader
//   EXPECT_EQ(token->state().seed, expectedSeed);
//   ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
//
//   QVERIFY2(pcsc.ok(), pcsc.failure().c_str());       // Qt Test
//
// Faults come from the token (answerNextWith, liftOnNextCommand, ...); a
// reader list that changes or a service that goes away from stopDaemon() and
// startDaemon(pairs). Every operation that can fail returns false, keeps the
// reason (with pcscd's output) in failure() and prints it on stderr.
//
// Create the fixture before the process makes its first PC/SC call and before
// it starts threads: the client library reads PCSCLITE_CSOCK_NAME once. One
// fixture per process at a time; later ones reuse the same socket path. Call
// it from one thread, one that outlives it: pcscd ends with the thread that
// started it. With STATION_PCSCD_DEBUG set, pcscd logs its debug output,
// which failure() shows.

#include "VirtualToken.h"
#include "VpcdLink.h"

#include <chrono>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class PcscFixture
{
public:
    explicit PcscFixture(int readerPairs = 1);
    ~PcscFixture();
    PcscFixture(const PcscFixture&) = delete;
    PcscFixture& operator=(const PcscFixture&) = delete;

    // False once anything the test asked of the fixture went wrong.
    bool ok() const { return m_failure.empty(); }
    const std::string& failure() const { return m_failure; }

    int readerCount() const { return 2 * m_pairs; }
    std::string readerName(int slot) const;
    uint16_t port(int slot) const;

    // Presents token on the reader of slot and waits until PC/SC sees it.
    bool insert(int slot, std::shared_ptr<VirtualToken> token);
    // Lifts the token of slot and waits until the reader is empty.
    bool remove(int slot);
    // Waits until PC/SC reports the reader of slot with or without a card
    // (after a token lifted itself, for instance).
    bool waitForCard(int slot, bool present,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::shared_ptr<VirtualToken> token(int slot) const;

    // Stops pcscd: every reader goes away; tokens stay in their slots.
    bool stopDaemon();
    // Starts pcscd again with readerPairs vpcd entries, on the same ports
    // where they are still free; the tokens in the remaining slots come back.
    bool startDaemon(int readerPairs);
    bool daemonRunning() const { return m_daemon > 0; }

    // The output pcscd wrote so far.
    std::string daemonOutput() const;

private:
    struct Slot
    {
        std::shared_ptr<VirtualToken> token;
        std::unique_ptr<VpcdLink> link;
    };

    bool fail(const std::string& reason);
    bool launch();
    bool waitUntilReady(std::string& problem);
    void killDaemon();
    void choosePorts();
    std::vector<std::string> expectedReaders() const;

    int m_pairs = 0;
    std::vector<uint16_t> m_basePorts; // one even port per pair
    std::vector<Slot> m_slots;
    pid_t m_daemon = -1;
    std::string m_failure;
};
