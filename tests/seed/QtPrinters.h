#pragma once

// Readable GoogleTest failures for Qt texts: the text itself (C-escaped)
// instead of a list of code units.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"')
            *os << '\\' << c;
        else if (u >= 0x20 && u < 0x7F)
            *os << c;
        else if (c == '\r')
            *os << "\\r";
        else if (c == '\n')
            *os << "\\n";
        else {
            const char* digits = "0123456789ABCDEF";
            *os << "\\x" << digits[u >> 4] << digits[u & 15];
        }
    }
    *os << '"';
}

inline void PrintTo(const QString& text, std::ostream* os)
{
    PrintTo(text.toUtf8(), os);
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(list[i], os);
    }
    *os << '}';
}
