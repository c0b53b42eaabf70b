#include "SeedText.h"

QString NormalizeSeedText(const QString& editText)
{
    QString seed = editText.toUpper();
    seed.remove(QLatin1Char('-'));
    while (seed.size() % 8 != 0)
        seed.append(QLatin1Char('='));
    return seed;
}

namespace {

template <typename Char> bool IsBase32Characters(const Char* text, size_t length)
{
    while (length > 0 && text[length - 1] == Char('='))
        --length;
    for (size_t i = 0; i < length; ++i) {
        const auto c = text[i];
        if (!((c >= Char('A') && c <= Char('Z')) || (c >= Char('2') && c <= Char('7'))))
            return false;
    }
    return true;
}

} // namespace

bool IsBase32SeedText(const QString& normalisedText)
{
    return IsBase32Characters(reinterpret_cast<const char16_t*>(normalisedText.utf16()),
                              static_cast<size_t>(normalisedText.size()));
}

bool IsBase32SeedText(const char* text, size_t length)
{
    return text != nullptr ? IsBase32Characters(text, length) : length == 0;
}
