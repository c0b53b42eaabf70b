#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The names of a reader list text: every name is followed by "[E]".
QStringList SplitReaderList(const QString& readerListText);

// How the window's reader list follows a new reader list text: entries whose
// text no longer occurs anywhere in it (a plain substring test) go, from the
// last to the first; names not yet listed exactly are added at the end, in
// the order the platform gives them.
struct ReaderListChanges
{
    QList<int> removeAt; // indices into the old entries, highest first
    QStringList append;
};
ReaderListChanges FollowReaderList(const QStringList& entries, const QString& readerListText);
