// virtual-token: a token of the station's kind on a vpcd reader of pcscd, for
// trying the station without hardware and for scripts.
//
//   virtual-token [--port 35963] [--serial VT00000001] [--key HEX32] [--tries 5]
//                 [--clock-offset SECONDS] [--control SOCKET] [--removed] [--t0]
//   virtual-token --ask SOCKET COMMAND...
//
// Commands (see ControlCommands.h) are read from standard input and, with
// --control, from a local socket; --ask sends one command to a running token
// and prints its answer, e.g. `virtual-token --ask /tmp/vt.sock state`.

#include "ControlCommands.h"
#include "VirtualToken.h"
#include "VpcdLink.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <openssl/crypto.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    VirtualTokenSettings settings;
    uint16_t port = 35963;
    std::string controlPath;
    bool removed = false;
    std::string askCommand; // non-empty: client mode
};

[[noreturn]] void Usage(const char* problem)
{
    std::fprintf(stderr,
                 "virtual-token: %s\n"
                 "usage: virtual-token [--port N] [--serial TEXT] [--key HEX32] [--tries N]\n"
                 "                     [--clock-offset SECONDS] [--control SOCKET] [--removed]\n"
                 "                     [--t0]\n"
                 "       virtual-token --ask SOCKET COMMAND...\n",
                 problem);
    std::exit(2);
}

bool ReadKey(const char* text, std::array<uint8_t, 16>& key)
{
    if (std::strlen(text) != 32)
        return false;
    for (size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        if (std::sscanf(text + 2 * i, "%2x", &value) != 1 || !isxdigit(text[2 * i]) ||
            !isxdigit(text[2 * i + 1]))
            return false;
        key[i] = static_cast<uint8_t>(value);
    }
    return true;
}

long ReadInteger(const char* text, long low, long high, const char* problem)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < low || value > high)
        Usage(problem);
    return value;
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--removed") {
            options.removed = true;
            continue;
        }
        if (name == "--t0") {
            options.settings.protocolT0 = true;
            continue;
        }
        if (i + 1 >= argc)
            Usage(("missing value for " + name).c_str());
        const char* value = argv[++i];
        if (name == "--port") {
            options.port = static_cast<uint16_t>(ReadInteger(value, 1, 65535, "bad --port"));
        } else if (name == "--serial") {
            options.settings.serial = value;
            if (options.settings.serial.empty() || options.settings.serial.size() > 32)
                Usage("--serial takes 1 to 32 bytes");
        } else if (name == "--key") {
            if (!ReadKey(value, options.settings.customerKey))
                Usage("--key takes 32 hexadecimal digits");
        } else if (name == "--tries") {
            options.settings.maxTries = static_cast<int>(ReadInteger(value, 1, 15, "bad --tries"));
        } else if (name == "--clock-offset") {
            options.settings.clockOffset =
                ReadInteger(value, -4000000000L, 4000000000L, "bad --clock-offset");
        } else if (name == "--control") {
            options.controlPath = value;
        } else if (name == "--ask") {
            options.controlPath = value;
            for (++i; i < argc; ++i)
                options.askCommand += std::string(options.askCommand.empty() ? "" : " ") + argv[i];
            if (options.askCommand.empty())
                Usage("--ask needs a command");
        } else {
            Usage(("unknown option " + name).c_str());
        }
    }
    return options;
}

sockaddr_un SocketAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        Usage("socket path too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

int Ask(const std::string& path, const std::string& command)
{
    const sockaddr_un address = SocketAddress(path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "virtual-token: no virtual token answers on %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        return 1;
    std::string answer;
    char buffer[4096];
    while (answer.find('\n') == std::string::npos) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        answer.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    std::fputs(answer.c_str(), stdout);
    return answer.rfind("error:", 0) == 0 ? 1 : 0;
}

int Listen(const std::string& path)
{
    const sockaddr_un address = SocketAddress(path);
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const mode_t oldMask = umask(0077); // the socket can change the token: the owner only
    const bool bound =
        fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    umask(oldMask);
    if (!bound || listen(fd, 8) != 0) {
        std::fprintf(stderr, "virtual-token: cannot listen on %s: %s\n", path.c_str(),
                     std::strerror(errno));
        std::exit(1);
    }
    return fd;
}

// Answers every whole line in buffer; false once "quit" was asked.
bool AnswerLines(VirtualToken& token, VpcdLink& link, std::string& buffer, int out)
{
    for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
        const std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        if (line == "quit")
            return false;
        const std::string answer = RunControlCommand(token, link, line) + "\n";
        [[maybe_unused]] const ssize_t written =
            out == STDOUT_FILENO ? write(out, answer.data(), answer.size())
                                 : send(out, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options = ParseOptions(argc, argv);
    if (!options.askCommand.empty())
        return Ask(options.controlPath, options.askCommand);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr); // before the link's thread starts
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    VirtualToken token(options.settings);
    OPENSSL_cleanse(options.settings.customerKey.data(), options.settings.customerKey.size());
    VpcdLink link(token, options.port);
    if (!options.removed)
        link.insert();
    const int listenFd = options.controlPath.empty() ? -1 : Listen(options.controlPath);

    std::fprintf(stderr,
                 "virtual-token: token \"%s\" for the vpcd reader on port %u%s%s\n"
                 "virtual-token: type \"help\" for the commands, \"state\" for what it holds\n",
                 token.state().serial.c_str(), options.port,
                 listenFd >= 0 ? "; control socket " : "", options.controlPath.c_str());

    std::string input;
    std::map<int, std::string> clients;
    bool stdinOpen = true;
    bool running = true;
    while (running && (stdinOpen || listenFd >= 0)) {
        std::vector<pollfd> fds{{signalFd, POLLIN, 0},
                                {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0},
                                {listenFd, POLLIN, 0}};
        for (const auto& [fd, pending] : clients)
            fds.push_back({fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents & POLLIN)
            break;
        char buffer[1024];
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0)
                stdinOpen = false;
            else
                input.append(buffer, static_cast<size_t>(got));
            running = AnswerLines(token, link, input, STDOUT_FILENO);
        }
        if (fds[2].revents & POLLIN) {
            const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                clients[client];
        }
        for (size_t i = 3; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t got = recv(fds[i].fd, buffer, sizeof buffer, 0);
            std::string& pending = clients[fds[i].fd];
            if (got > 0) {
                pending.append(buffer, static_cast<size_t>(got));
                running = AnswerLines(token, link, pending, fds[i].fd) && running;
            } else {
                close(fds[i].fd);
                clients.erase(fds[i].fd);
            }
        }
    }

    for (const auto& [fd, pending] : clients)
        close(fd);
    if (listenFd >= 0) {
        close(listenFd);
        unlink(options.controlPath.c_str());
    }
    return 0;
}
