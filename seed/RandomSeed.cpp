#include "RandomSeed.h"

#include "Base32.h"
#include "SecretText.h"

#include <array>
#include <openssl/rand.h>

QString GenerateRandomSeedText(int mode)
{
    return GenerateRandomSeedText(mode, RAND_bytes);
}

QString GenerateRandomSeedText(int mode, RandomByteSource source)
{
    std::array<uint8_t, 40> bytes{};
    const int count = mode == 1 ? 20 : 40;
    QString seed;
    if (source(bytes.data(), count) == 1) {
        std::string text = EncodeBase32Groups(bytes.data(), static_cast<size_t>(count));
        seed = QString::fromLatin1(text);
        WipeText(text);
    }
    WipeMemory(bytes.data(), bytes.size());
    return seed;
}
