#pragma once

#include <cerrno>
#include <cstddef>

// Calls a system call again while a signal interrupts it (EINTR); its result.
int RetryOnInterrupt(auto call)
{
    int result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

// Writes all bytes at the file's position (or its end, with O_APPEND) and
// syncs the file: the bytes are on the disk when it returns 0; else the errno.
int WriteAllAndSync(int fd, const char* bytes, size_t count);
