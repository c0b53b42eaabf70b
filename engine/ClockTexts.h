#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

// The station's three ways of writing a moment.

// "YYYY-MM-DD hh:mm:ss" of a UTC time: the token clock and computer clock fields.
QString ClockText(const QDateTime& utc);

// The token's time text "Y/MM/DD/hh/mm/ss" made from a clock text of the form
// above. Empty when the text does not read as six numbers: sending a guessed
// time would set the token's clock wrong without anyone noticing.
std::optional<std::string> ToTokenTimeText(std::string_view clockText);

// The Time column of the log: local time, followed by one blank.
QString LogTimeText(const QDateTime& local);
