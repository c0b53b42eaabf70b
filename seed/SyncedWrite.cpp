#include "SyncedWrite.h"

#include <unistd.h>

int WriteAllAndSync(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return RetryOnInterrupt([fd] { return ::fsync(fd); }) == 0 ? 0 : errno;
}
