#include "OutcomeLine.h"

#include <QStringList>

namespace {

// The engine's reasons are message texts of several lines; the status line
// is one line of words.
QString OneLine(const QString& reason)
{
    return reason.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' ')).simplified();
}

} // namespace

OutcomeLine DescribeOutcome(const TokenOutcome& outcome)
{
    const QString reason = OneLine(outcome.reason);
    const QString token = outcome.serialNumber.isEmpty()
                              ? QStringLiteral("the token on %1").arg(outcome.readerName)
                              : outcome.serialNumber;
    switch (outcome.result) {
    case TokenOutcome::Result::Programmed:
        return {QStringLiteral("Programmed %1 on %2").arg(token, outcome.readerName) +
                    (outcome.again ? QStringLiteral(" \u2014 programmed again") : QString()),
                OutcomeLine::Tone::Good};
    case TokenOutcome::Result::NotRecorded:
        return {QStringLiteral("Programmed %1 on %2, not recorded: %3")
                    .arg(token, outcome.readerName, reason),
                OutcomeLine::Tone::Warning};
    case TokenOutcome::Result::Failed:
        break;
    }
    return {reason.isEmpty() ? QStringLiteral("Failed %1").arg(token)
                             : QStringLiteral("Failed %1: %2").arg(token, reason),
            OutcomeLine::Tone::Bad};
}

QColor OutcomeColour(OutcomeLine::Tone tone)
{
    switch (tone) {
    case OutcomeLine::Tone::Good:
        return QColor(0x4c, 0xc2, 0x4c); // green
    case OutcomeLine::Tone::Warning:
        return QColor(0xff, 0xbf, 0x00); // amber
    case OutcomeLine::Tone::Bad:
        return QColor(0xe8, 0x3b, 0x3b); // red
    case OutcomeLine::Tone::None:
        break;
    }
    return {};
}
