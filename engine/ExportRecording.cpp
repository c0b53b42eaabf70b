#include "ExportRecording.h"

#include <QDateTime>

void OpenExportFiles(ExportFiles& files, Operator& op)
{
    QString reason;
    const ExportFiles::OpenResult result = files.open(QDateTime::currentDateTime(), &reason);
    if (result == ExportFiles::OpenResult::Opened || result == ExportFiles::OpenResult::AlreadyOpen)
        return;
    op.showMessage(ExportFiles::OpenFailureMessage(result, reason), kAppTitle, MessageIcon::Stop);
}

ExportFiles::AppendResult AppendExportRecord(ExportFiles& files, Operator& op,
                                             const ExportRecord& record)
{
    // A set that could not be created at the press is tried again rather than
    // the record dropped.
    if (!files.isOpen())
        OpenExportFiles(files, op);
    ExportFiles::AppendResult result = files.appendRecord(record);
    if (!result.complete())
        op.showMessage(result.message(record.serialNumber), kAppTitle, MessageIcon::Stop);
    return result;
}
