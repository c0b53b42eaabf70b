#include "SeedText.h"

QString NormalizeSeedText(const QString& editText)
{
    QString seed = editText.toUpper();
    seed.remove(QLatin1Char('-'));
    while (seed.size() % 8 != 0)
        seed.append(QLatin1Char('='));
    return seed;
}
