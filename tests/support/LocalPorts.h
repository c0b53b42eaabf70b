#pragma once

#include <cstdint>
#include <sys/types.h>

// Which local TCP ports the fixture's readers may take, and whose they are.

// True when a listening socket could bind port on any address now (ports in
// TIME_WAIT count as free, as for a server that reuses addresses).
bool PortIsFree(uint16_t port);

// True when process pid holds a socket listening on TCP port.
bool ListensOn(pid_t pid, uint16_t port);
