#include "SerialNumber.h"

namespace {

bool IsPrintableByte(unsigned char c)
{
    return c >= 0x21 && c <= 0x7E;
}

bool IsFormulaStart(char c)
{
    return c == '=' || c == '+' || c == '-' || c == '@';
}

enum class Problem
{
    None,
    Empty,
    NotPrintable,
    FormulaStart,
    CommaOrQuote,
};

Problem FindProblem(std::string_view raw)
{
    if (raw.empty())
        return Problem::Empty;
    for (const char c : raw)
        if (!IsPrintableByte(static_cast<unsigned char>(c)))
            return Problem::NotPrintable;
    if (IsFormulaStart(raw.front()))
        return Problem::FormulaStart;
    if (raw.find_first_of(",\"") != std::string_view::npos)
        return Problem::CommaOrQuote;
    return Problem::None;
}

std::string_view View(const QByteArray& raw)
{
    return {raw.constData(), static_cast<size_t>(raw.size())};
}

} // namespace

bool IsPrintableSerial(std::string_view raw)
{
    const Problem problem = FindProblem(raw);
    return problem != Problem::Empty && problem != Problem::NotPrintable;
}

bool IsPrintableSerial(const QByteArray& raw)
{
    return IsPrintableSerial(View(raw));
}

bool IsAcceptedSerial(std::string_view raw)
{
    return FindProblem(raw) == Problem::None;
}

bool IsAcceptedSerial(const QByteArray& raw)
{
    return IsAcceptedSerial(View(raw));
}

QString SerialNumberProblem(const QByteArray& raw, bool forToken)
{
    const QString nothing =
        forToken ? QStringLiteral(" Nothing was written to the token.") : QString();
    switch (FindProblem(View(raw))) {
    case Problem::None:
        return {};
    case Problem::Empty:
        return (forToken ? QStringLiteral("The token reports no serial number.")
                         : QStringLiteral("The serial number is empty.")) +
               nothing;
    case Problem::NotPrintable:
        return QStringLiteral("The serial number is not printable ASCII text (its bytes: %1).")
                   .arg(QString::fromLatin1(raw.toHex(' ').toUpper())) +
               nothing;
    case Problem::FormulaStart:
        return QStringLiteral("The serial number \"%1\" starts with \"%2\", which a spreadsheet "
                              "takes for a formula; the export files would have to alter it.")
                   .arg(QString::fromLatin1(raw), QString(QLatin1Char(raw.front()))) +
               nothing;
    case Problem::CommaOrQuote:
        return QStringLiteral("The serial number \"%1\" holds a \",\" or a '\"', which a seed file "
                              "cannot carry and the export files would have to quote.")
                   .arg(QString::fromLatin1(raw)) +
               nothing;
    }
    return {};
}
