#pragma once

#include <QString>

class QSettings;

// The window's Journal setting, the same choice as the command line's
// --journal and --seal-to, kept in the user's settings (on Linux
// $XDG_CONFIG_HOME/<organisation>/<application>.conf). The window reads it
// when it starts: the journal a running station records into never changes
// under a token being programmed.
struct JournalSetting
{
    QString journal; // a libpq connection string or URI, or a SQLite file; empty: the Data folder's
    QString sealTo;  // the fleet's certificate that seeds are sealed to; empty: not sealed

    static JournalSetting read(const QSettings& settings);
    void write(QSettings& settings) const;

    bool operator==(const JournalSetting&) const = default;
};
