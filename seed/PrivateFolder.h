#pragma once

#include <QString>

// Opens a folder of the station's files (the export files, the programming
// journal: both hold what a seed reveals) as a folder of ours, never
// through a link, with the owner's rights only: missing folders on the way
// are created 0700, and an existing folder of ours that is wider is tightened
// to 0700 (an earlier station made it under the umask). A folder of another
// user, a shared (sticky) folder such as /tmp, a link or anything else is
// refused. Returns the folder's descriptor
// (O_DIRECTORY, close it when done), or -1 with the reason in words, such as
// "The folder /path/Data is a link.".
int OpenPrivateFolder(const QString& folder, QString& reason);

// The errno's text, for the reasons given to the operator.
QString ErrnoText(int error);
