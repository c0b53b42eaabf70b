#include "PskcKey.h"

namespace {

constexpr int kKeyBytes = 16;

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

std::optional<PskcKey> Refuse(QString* problem, const QString& text)
{
    if (problem)
        *problem = text;
    return std::nullopt;
}

} // namespace

std::optional<PskcKey> ParsePskcKey(const QString& text, QString* problem)
{
    if (problem)
        problem->clear();
    // Half bytes land in the key as they come: no copy of the digits is made.
    ByteString key(kKeyBytes);
    int digits = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t'))
            continue;
        const int value = HexValue(c);
        if (value < 0)
            return Refuse(problem, QStringLiteral("The key holds \"%1\", which is not a "
                                                  "hexadecimal digit (0-9, A-F).")
                                       .arg(c.isPrint() ? QString(c) : QStringLiteral("?")));
        if (digits < 2 * kKeyBytes)
            key[digits / 2] |= static_cast<uint8_t>(digits % 2 ? value : value << 4);
        ++digits;
    }
    if (digits == 0)
        return Refuse(problem, QStringLiteral("The key is empty: type the 32 hexadecimal digits "
                                              "of the AES-128 key agreed with the server."));
    if (digits != 2 * kKeyBytes)
        return Refuse(problem,
                      QStringLiteral("The key has %1 hexadecimal digits; an AES-128 key has 32.")
                          .arg(digits));
    PskcKey result;
    result.key = std::move(key);
    return result;
}
