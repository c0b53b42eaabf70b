#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

// A token's serial number is outside input: the token reports it, and a seed
// file carries it. The station keeps it byte for byte (the authentication
// server matches serial numbers exactly), so one it cannot keep that way is
// refused, never altered.

// Printable ASCII only: every byte in 0x21 ("!") to 0x7E ("~"), at least one.
// A space is refused with the control characters: it is invisible at either
// end in the window and in a spreadsheet, importers trim it, and a seed-file
// serial with a trailing space silently never matches its token.
bool IsPrintableSerial(const QByteArray& raw);
bool IsPrintableSerial(std::string_view raw);

// Why a token with this serial number must not be programmed (or a seed-file
// line with it is a bad line); an empty text when it may. Refused:
// - no serial number, or one that is not printable ASCII (IsPrintableSerial);
// - a first character that spreadsheets take for a formula ("=", "+", "-",
//   "@"): the export files would have to alter it, and the server would
//   then hold another serial number than the token;
// - a "," or a '"': a seed file cannot carry it (its serial ends at the first
//   ","), and the export files would have to quote it.
// The text is for the operator, one or two sentences, ending in "Nothing
// was written to the token." when forToken is true.
QString SerialNumberProblem(const QByteArray& raw, bool forToken = true);
bool IsAcceptedSerial(const QByteArray& raw);
bool IsAcceptedSerial(std::string_view raw);
