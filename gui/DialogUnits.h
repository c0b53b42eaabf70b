#pragma once

#include <QFontMetrics>

// The window keeps the proportions of its original layout, which were given
// in dialog units: a quarter of the font's average character width across,
// an eighth of its height down. Measured the way the desktop it came from
// measures them, so sizes follow the font and the screen's scale.
class DialogUnits
{
public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : m_charWidth((metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                           26 +
                       1) /
                      2),
          m_charHeight(metrics.height())
    {}

    int x(int units) const { return (units * m_charWidth + 2) / 4; }
    int y(int units) const { return (units * m_charHeight + 4) / 8; }

private:
    int m_charWidth;
    int m_charHeight;
};
