#pragma once

#include <mutex>

// pcsc-lite's client library keeps its contexts and their card handles in
// process-wide lists that it does not always guard: SCardDisconnect looks its
// handle up across every context without the library's own lock, while
// SCardConnect adds a handle under its context's lock only, and
// SCardEstablishContext and SCardReleaseContext add and free contexts. Every
// reader's station has a context of its own on a thread of its own, so two
// stations could walk and change those lists at once, and the station died
// in SCardDisconnect. Calls that add, remove or look up contexts and handles
// that way are made under this lock; calls on one handle (transmit,
// transactions) and the wait for reader changes are not, so no station waits
// on another's card exchange.
std::mutex& PcscClientLock();
