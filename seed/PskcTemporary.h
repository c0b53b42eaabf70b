#pragma once

#include <QByteArray>

// The writers' temporary files: the PSKC writer's, and those of the CSV
// files station export writes in one go (ExportFiles::WriteRun). Each version
// of a document is written to a new file beside it, ".<document
// name>.tmp-<random hex>", and renamed into place once it is on the disk. A
// writer killed in between leaves that file behind, with the run's seeds in
// it (in clear when no key was set): the next writer, and the export files'
// open, remove those of the folder.
//
// A writer at work holds a lock on its temporary file from just after it
// made it until it is renamed or removed (the system drops the lock when the
// writer dies), so that another station in the same folder never takes a
// file away from under a live writer.

// A new name for a version of the document named documentName.
QByteArray PskcTemporaryName(const QByteArray& documentName);

// Makes a new temporary file for documentName in folder (mode 0600, never
// through a link) and takes the writer's hold on it: its descriptor, its
// name in name, or -1 with errno set.
int CreatePskcTemporary(int folder, const QByteArray& documentName, QByteArray& name);

// Takes the writer's hold on the temporary file just made (fd). False when it
// must not be used: a removal of leftovers found it first and takes it away;
// the writer makes another.
bool HoldPskcTemporary(int fd);

// Removes from folder (a descriptor from OpenPrivateFolder) the temporary
// files that killed writers left: a name of the pattern above, a regular
// file of this user with one name, mode 0600, that no writer holds. A link,
// a file of another user, with other rights or other names, or one a writer
// holds is left as it is. Returns 0, or the errno of the first leftover
// that could not be removed (or of the folder that could not be read).
int RemovePskcLeftovers(int folder);
