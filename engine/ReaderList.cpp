#include "ReaderList.h"

namespace {
const QString kEndOfName = QStringLiteral("[E]");
}

QStringList SplitReaderList(const QString& readerListText)
{
    QStringList names;
    qsizetype from = 0;
    for (qsizetype end = readerListText.indexOf(kEndOfName); end >= 0;
         end = readerListText.indexOf(kEndOfName, from)) {
        names << readerListText.mid(from, end - from);
        from = end + kEndOfName.size();
    }
    return names;
}

ReaderListChanges FollowReaderList(const QStringList& entries, const QString& readerListText)
{
    ReaderListChanges changes;
    QStringList kept = entries;
    for (int i = static_cast<int>(entries.size()) - 1; i >= 0; --i) {
        if (!readerListText.contains(entries[i])) {
            changes.removeAt << i;
            kept.removeAt(i);
        }
    }
    for (const QString& name : SplitReaderList(readerListText)) {
        if (!kept.contains(name, Qt::CaseSensitive)) {
            changes.append << name;
            kept << name;
        }
    }
    return changes;
}
