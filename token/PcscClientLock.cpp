#include "PcscClientLock.h"

std::mutex& PcscClientLock()
{
    static std::mutex lock;
    return lock;
}
