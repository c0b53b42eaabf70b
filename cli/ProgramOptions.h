#pragma once

#include "engine/Station.h"

#include <QStringList>
#include <optional>

// What `station program` was asked to do.
struct ProgramOptions
{
    QStringList readers; // --reader, once or more
    SeedSource source = SeedSource::Random32;
    QString seedFile;     // with SeedSource::SeedFile
    QString usersFile;    // --users FILE: each token takes the next user of FILE
    TimingOptions timing; // SHA1, 30 s step, 30 s display unless told
    bool syncClock = true;
    QString exportFolder; // empty: the station's Data folder
    bool automatic = false;
    bool pskc = false;   // --pskc: each set also gets its PSKC file
    QString pskcKeyFile; // --pskc-key FILE: encrypt its seeds under the key in FILE
    // --journal: a libpq connection string or a SQLite file; empty: the Data folder's.
    QString journal;
    // --seal-to CERT: the journal (the server's or a SQLite file) keeps each
    // seed sealed to CERT.
    QString sealTo;
};

// Reads the arguments after "program"; on a mistake, nothing and the reason.
std::optional<ProgramOptions> ParseProgramOptions(const QStringList& arguments, QString& problem);

extern const char kProgramUsage[];
