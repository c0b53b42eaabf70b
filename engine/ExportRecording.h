#pragma once

#include "Operator.h"
#include "seed/ExportFiles.h"

#include <QStringList>

// The station's use of the export files: what it tells the operator when a
// set cannot be created or a record cannot be written.

inline const QString kAppTitle = QStringLiteral("Zentoka/Pelarin Programmer");

// Creates the export set unless one is open; a failure is shown, and the
// press that asked for it goes on.
void OpenExportFiles(ExportFiles& files, Operator& op);

// Records a programmed token, creating the set first if none is open. Every
// file the record did not reach is shown, for every token.
ExportFiles::AppendResult AppendExportRecord(ExportFiles& files, Operator& op,
                                             const ExportRecord& record);
