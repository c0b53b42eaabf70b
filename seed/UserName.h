#pragma once

#include <QByteArray>
#include <QString>

// A token's user, the UPN its directory-import record names, as a seed file's
// third column or a user list carries it. The export files write a name
// byte for byte only when nothing in it would make a spreadsheet or an
// importer read it otherwise, and the authentication server must get the
// very name the list holds; so a name that would be altered or split is
// refused, never changed.

// The longest name taken: far above any directory's UPN.
constexpr qsizetype kUserNameMaxLength = 256;

// Why this name cannot be a token's user; an empty text when it can. Refused:
// an empty name, one longer than kUserNameMaxLength, a control character,
// a space at either end, a "," or a '"' (a field of its own in the CSV
// files), and a first character that spreadsheets take for a formula
// ("=", "+", "-", "@").
QString UserNameProblem(const QString& name);

// The name a file's bytes spell in UTF-8; false (and an empty name) when
// they are not UTF-8.
bool UserNameFromUtf8(const QByteArray& bytes, QString& name);
