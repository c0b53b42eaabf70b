#include "SeedForToken.h"

#include "seed/Base32.h"

namespace {

const QString kNotBase32 = QStringLiteral(
    "The seed is not valid Base32 text: it may hold only the letters A-Z, the digits 2-7 and "
    "\"=\" at its end. Nothing was written to the token.");

bool IsBase32Character(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('2') && c <= QLatin1Char('7'));
}

// Letters and digits of the alphabet, then nothing but "=": any other
// character, a NUL among them, would make the decoder stop early or skip it,
// and the token would get a shorter seed than the records say.
bool IsBase32Text(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char('='))
        --end;
    for (qsizetype i = 0; i < end; ++i)
        if (!IsBase32Character(text[i]))
            return false;
    return true;
}

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
    if (!IsBase32Text(normalisedSeedText)) {
        seed.problem = kNotBase32;
        return seed;
    }
    QByteArray narrow = normalisedSeedText.toLatin1();
    ByteString buffer(kSeedBufferSize);
    const int32_t length = Base32ToBytes(narrow.constData(), buffer.data(), buffer.size());
    WipeMemory(narrow.data(), narrow.size());

    if (length <= 0) {
        seed.problem = RefusalReason(normalisedSeedText);
        return seed;
    }
    seed.bytes = ByteString(buffer.data(), static_cast<size_t>(length));
    return seed;
}
