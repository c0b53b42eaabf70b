#include "LocalPorts.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

bool PortIsFree(uint16_t port)
{
    // As the driver binds it: any address, reusing ports in TIME_WAIT.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool free = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

bool ListensOn(pid_t pid, uint16_t port)
{
    std::ifstream table("/proc/" + std::to_string(pid) + "/net/tcp");
    std::string line;
    std::getline(table, line); // header
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::string inode;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, node;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> node;
        if (state == "0A" && local.size() >= 5 && local.substr(local.size() - 5) == wanted) {
            inode = node;
            break;
        }
    }
    if (inode.empty())
        return false;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (fs::read_symlink(entry.path(), error).string() == "socket:[" + inode + "]")
            return true;
    }
    return false;
}
