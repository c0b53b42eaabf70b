#include "PcscFixture.h"

#include "LocalPorts.h"

#include <PCSC/winscard.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int ATTEMPTS = 6; // port choices before giving up
constexpr auto START_TIMEOUT = 15s;
constexpr auto STOP_TIMEOUT = 5s;
constexpr uint16_t SYSTEM_VPCD_PORT = 35963; // and 35964: the system pcscd's readers
constexpr char DRIVER[] = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";

std::atomic<bool> g_fixtureAlive{false};

constexpr char FOLDER_PREFIX[] = "station-pcsc-";

// Folders of test processes that ended without cleaning up (killed by a
// timeout, say); their pcscd ended with them.
void RemoveStaleFolders(const fs::path& base)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(base, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(FOLDER_PREFIX, 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + std::strlen(FOLDER_PREFIX), nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            fs::remove_all(entry.path(), error);
    }
}

// The folder of this process's private stack. Its path never changes: the
// PC/SC client reads the socket's path once per process.
const fs::path& StackFolder()
{
    static const fs::path folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        const fs::path base = tmp != nullptr && std::strlen(tmp) < 40 ? tmp : "/tmp";
        RemoveStaleFolders(base);
        return base / (FOLDER_PREFIX + std::to_string(getpid()));
    }();
    return folder;
}

fs::path RunFolder()
{
    return StackFolder() / "run";
}

fs::path ConfigFolder()
{
    return StackFolder() / "reader.conf.d";
}

fs::path LogPath()
{
    return StackFolder() / "pcscd.log";
}

std::string FriendlyName(int pair)
{
    return pair == 0 ? "Virtual PCD" : std::string("Virtual PCD ") + static_cast<char>('A' + pair);
}

// The vpcd driver keeps one set of readers per loaded copy: a second entry on
// the same file takes over the first one's sockets. Each further pair gets a
// copy of its own (a distinct file, so the loader keeps them apart).
std::string DriverFor(int pair)
{
    if (pair == 0)
        return DRIVER;
    const fs::path copy = StackFolder() / ("libifdvpcd-" + std::to_string(pair) + ".so");
    std::error_code error;
    if (!fs::exists(copy))
        fs::copy_file(DRIVER, copy, error);
    return copy.string();
}

bool PairIsFree(uint16_t base)
{
    return base != SYSTEM_VPCD_PORT && base + 1 != SYSTEM_VPCD_PORT && PortIsFree(base) &&
           PortIsFree(static_cast<uint16_t>(base + 1));
}

std::vector<std::string> ListedReaders()
{
    std::vector<std::string> names;
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return names;
    DWORD size = 0;
    if (SCardListReaders(context, nullptr, nullptr, &size) == SCARD_S_SUCCESS) {
        std::string multi(size, '\0');
        if (SCardListReaders(context, nullptr, multi.data(), &size) == SCARD_S_SUCCESS) {
            for (const char* name = multi.c_str(); *name != '\0'; name += std::strlen(name) + 1)
                names.emplace_back(name);
        }
    }
    SCardReleaseContext(context);
    return names;
}

// The card state of a reader: 1 present, 0 empty, -1 unknown (no reader, no service).
int CardState(const std::string& reader)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return -1;
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    const LONG result = SCardGetStatusChange(context, 0, &state, 1);
    SCardReleaseContext(context);
    if (result != SCARD_S_SUCCESS || (state.dwEventState & SCARD_STATE_UNKNOWN))
        return -1;
    return (state.dwEventState & SCARD_STATE_PRESENT) ? 1 : 0;
}

bool Exited(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

} // namespace

PcscFixture::PcscFixture(int readerPairs)
{
    if (g_fixtureAlive.exchange(true)) {
        fail("only one PcscFixture may live in a process at a time");
        return;
    }
    setenv("PCSCLITE_CSOCK_NAME", (RunFolder() / "pcscd.comm").c_str(), 1);
    startDaemon(readerPairs);
}

PcscFixture::~PcscFixture()
{
    m_slots.clear(); // the links go first: they hold the tokens
    if (m_daemon > 0)
        killDaemon();
    std::error_code error;
    fs::remove_all(StackFolder(), error);
    g_fixtureAlive = false;
}

bool PcscFixture::fail(const std::string& reason)
{
    if (m_failure.empty())
        m_failure = reason;
    else
        m_failure += "\n" + reason;
    std::cerr << "PcscFixture: " << reason << std::endl;
    return false;
}

std::string PcscFixture::readerName(int slot) const
{
    return FriendlyName(slot / 2) + (slot % 2 == 0 ? " 00 00" : " 00 01");
}

uint16_t PcscFixture::port(int slot) const
{
    const size_t pair = static_cast<size_t>(slot / 2);
    return pair < m_basePorts.size() ? static_cast<uint16_t>(m_basePorts[pair] + slot % 2) : 0;
}

std::shared_ptr<VirtualToken> PcscFixture::token(int slot) const
{
    return slot >= 0 && static_cast<size_t>(slot) < m_slots.size() ? m_slots[slot].token : nullptr;
}

std::vector<std::string> PcscFixture::expectedReaders() const
{
    std::vector<std::string> names;
    for (int slot = 0; slot < readerCount(); ++slot)
        names.push_back(readerName(slot));
    return names;
}

std::string PcscFixture::daemonOutput() const
{
    std::ifstream log(LogPath());
    std::ostringstream text;
    text << log.rdbuf();
    return text.str();
}

void PcscFixture::choosePorts()
{
    static std::mt19937 random(static_cast<unsigned>(getpid()) ^
                               static_cast<unsigned>(std::random_device{}()));
    // Below the ephemeral ports (32768 on), where a connect to a port nobody
    // listens on could meet its own source port.
    std::uniform_int_distribution<int> evenPort(10000, 16380); // times two: 20000..32760
    for (size_t pair = 0; pair < m_basePorts.size(); ++pair) {
        uint16_t& base = m_basePorts[pair];
        const auto takenByUs = [&](uint16_t candidate) {
            return std::count(m_basePorts.begin(), m_basePorts.begin() + pair, candidate) > 0;
        };
        while (base == 0 || takenByUs(base) || !PairIsFree(base))
            base = static_cast<uint16_t>(2 * evenPort(random));
    }
}

bool PcscFixture::startDaemon(int readerPairs)
{
    if (m_daemon > 0)
        return fail("startDaemon: pcscd is running already");
    if (readerPairs < 1 || readerPairs > 8)
        return fail("startDaemon: 1 to 8 reader pairs");
    m_pairs = readerPairs;
    m_basePorts.resize(static_cast<size_t>(readerPairs), 0);
    m_slots.resize(static_cast<size_t>(2 * readerPairs));

    std::string problem;
    for (int attempt = 0; attempt < ATTEMPTS; ++attempt) {
        choosePorts();
        if (!launch())
            return false;
        if (waitUntilReady(problem))
            break;
        killDaemon();
        // A port taken between our check and pcscd's bind: try other ports.
        std::fill(m_basePorts.begin(), m_basePorts.end(), 0);
    }
    if (m_daemon <= 0)
        return fail("pcscd did not start: " + problem + "\n--- pcscd output ---\n" +
                    daemonOutput());

    for (size_t slot = 0; slot < m_slots.size(); ++slot) {
        Slot& s = m_slots[slot];
        if (s.token == nullptr || s.link == nullptr || !s.link->inserted())
            continue;
        if (s.link->port() != port(static_cast<int>(slot)))
            s.link = std::make_unique<VpcdLink>(*s.token, port(static_cast<int>(slot)));
        s.link->insert();
        if (!waitForCard(static_cast<int>(slot), true))
            return false;
    }
    return true;
}

bool PcscFixture::launch()
{
    std::error_code error;
    fs::create_directories(RunFolder(), error);
    fs::remove_all(ConfigFolder(), error);
    fs::create_directories(ConfigFolder(), error);
    fs::remove(RunFolder() / "pcscd.comm", error);
    fs::remove(RunFolder() / "pcscd.pid", error);
    if (!fs::is_directory(RunFolder()))
        return fail("cannot create " + RunFolder().string());
    // The daemon's socket folder, over which its private mount goes.
    if (!fs::is_directory("/run/pcscd") && !fs::create_directories("/run/pcscd", error))
        return fail("/run/pcscd does not exist and cannot be created (run as root once: "
                    "mkdir -p /run/pcscd)");

    std::ofstream config(ConfigFolder() / "vpcd");
    for (int pair = 0; pair < m_pairs; ++pair) {
        const unsigned base = m_basePorts[static_cast<size_t>(pair)];
        config << "FRIENDLYNAME \"" << FriendlyName(pair) << "\"\n"
               << "DEVICENAME /dev/null:" << base << "\n"
               << "LIBPATH " << DriverFor(pair) << "\n"
               << "CHANNELID " << base << "\n\n";
    }
    config.close();
    if (!config)
        return fail("cannot write the reader configuration in " + ConfigFolder().string());

    // pcsc-lite 1.9 serves a fixed socket folder: bind ours over it in a
    // mount namespace of the daemon's own. Without root, a user namespace
    // gives that namespace its own root. The daemon is told to end with the
    // thread that starts it, so a test that crashes leaves no pcscd behind.
    std::vector<std::string> arguments{"unshare", "-m"};
    if (geteuid() != 0)
        arguments.emplace_back("-r");
    arguments.insert(arguments.end(),
                     {"setpriv", "--pdeathsig", "TERM", "sh", "-c",
                      "mount --bind \"$0\" /run/pcscd && exec pcscd -f -c \"$1\" $2",
                      RunFolder().string(), ConfigFolder().string(),
                      std::getenv("STATION_PCSCD_DEBUG") != nullptr ? "--debug" : ""});
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, LogPath().c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, "unshare", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return fail(std::string("cannot start unshare/pcscd: ") + std::strerror(result));
    m_daemon = pid;
    return true;
}

bool PcscFixture::waitUntilReady(std::string& problem)
{
    const auto deadline = std::chrono::steady_clock::now() + START_TIMEOUT;
    const std::vector<std::string> wanted = expectedReaders();
    while (std::chrono::steady_clock::now() < deadline) {
        if (Exited(m_daemon)) {
            m_daemon = -1;
            problem = "pcscd exited";
            return false;
        }
        std::vector<std::string> listed = ListedReaders();
        if (listed == wanted) {
            // Another process's reader on one of our ports would take our tokens.
            for (int slot = 0; slot < readerCount(); ++slot) {
                if (!ListensOn(m_daemon, port(slot))) {
                    problem = "port " + std::to_string(port(slot)) + " is not pcscd's";
                    return false;
                }
            }
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    problem = "its readers were not listed within " +
              std::to_string(std::chrono::seconds(START_TIMEOUT).count()) +
              " s (did this process call PC/SC before it created the fixture?)";
    return false;
}

void PcscFixture::killDaemon()
{
    kill(m_daemon, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + STOP_TIMEOUT;
    while (!Exited(m_daemon)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_daemon, SIGKILL);
            waitpid(m_daemon, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    m_daemon = -1;
}

bool PcscFixture::stopDaemon()
{
    if (m_daemon <= 0)
        return fail("stopDaemon: pcscd is not running");
    killDaemon();
    return true;
}

bool PcscFixture::insert(int slot, std::shared_ptr<VirtualToken> token)
{
    if (slot < 0 || slot >= readerCount() || token == nullptr)
        return fail("insert: no slot " + std::to_string(slot) + " or no token");
    Slot& s = m_slots[static_cast<size_t>(slot)];
    if (s.token != token || s.link == nullptr || s.link->port() != port(slot)) {
        s.link.reset(); // lifts the token that was there
        s.token = std::move(token);
        s.link = std::make_unique<VpcdLink>(*s.token, port(slot));
    }
    s.link->insert();
    return waitForCard(slot, true);
}

bool PcscFixture::remove(int slot)
{
    if (slot < 0 || slot >= readerCount())
        return fail("remove: no slot " + std::to_string(slot));
    Slot& s = m_slots[static_cast<size_t>(slot)];
    if (s.link != nullptr)
        s.link->remove();
    return waitForCard(slot, false);
}

bool PcscFixture::waitForCard(int slot, bool present, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string reader = readerName(slot);
    while (CardState(reader) != (present ? 1 : 0)) {
        if (std::chrono::steady_clock::now() > deadline)
            return fail("the reader \"" + reader + "\" did not become " +
                        (present ? "occupied" : "empty") + " within " +
                        std::to_string(timeout.count()) + " ms" + "\n--- pcscd output ---\n" +
                        daemonOutput());
        std::this_thread::sleep_for(10ms);
    }
    return true;
}
