#include "SeedForToken.h"

#include "seed/Base32.h"
#include "seed/SeedText.h"

namespace {

const QString kNotBase32 = QStringLiteral(
    "The seed is not valid Base32 text: it may hold only the letters A-Z, the digits 2-7 and "
    "\"=\" at its end. Nothing was written to the token.");

// Why the decoder gave nothing for text of the alphabet.
QString RefusalReason(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char('='))
        --end;
    if ((end * 5 + 7) / 8 > static_cast<qsizetype>(kSeedBufferSize) || text.size() > 255)
        return QStringLiteral("The seed is too long: it gives more than %1 bytes, and a token "
                              "holds at most 63. Nothing was written to the token.")
            .arg(kSeedBufferSize);
    return QStringLiteral("The seed is too short: it gives no seed bytes. Nothing was written "
                          "to the token.");
}

} // namespace

SeedForToken DecodeSeedForToken(const QString& normalisedSeedText)
{
    SeedForToken seed;
    // Any character outside the alphabet, a NUL among them, would make the
    // decoder stop early or skip it, and the token would get a shorter seed
    // than the records say.
    if (!IsBase32SeedText(normalisedSeedText)) {
        seed.problem = kNotBase32;
        return seed;
    }
    QByteArray narrow = normalisedSeedText.toLatin1();
    ByteString buffer(kSeedBufferSize);
    const int32_t length = Base32ToBytes(narrow.constData(), static_cast<size_t>(narrow.size()),
                                         buffer.data(), buffer.size());
    WipeMemory(narrow.data(), narrow.size());

    if (length <= 0) {
        seed.problem = RefusalReason(normalisedSeedText);
        return seed;
    }
    seed.bytes = ByteString(buffer.data(), static_cast<size_t>(length));
    return seed;
}
