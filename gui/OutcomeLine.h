#pragma once

#include "Station.h"

#include <QColor>
#include <QString>

// The window's large status line: the last token's outcome, in words and in
// a colour an operator reads from a step away.
struct OutcomeLine
{
    enum class Tone
    {
        None,    // nothing programmed yet
        Good,    // programmed and recorded
        Warning, // programmed, a record is missing
        Bad,     // not programmed
    };
    QString text;
    Tone tone = Tone::None;
};

OutcomeLine DescribeOutcome(const TokenOutcome& outcome);
// The background of the line for a tone; its text is black on each.
QColor OutcomeColour(OutcomeLine::Tone tone);
