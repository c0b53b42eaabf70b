#include "ExportRecording.h"

#include <QDateTime>

void OpenExportFiles(ExportFiles& files, Operator& op)
{
    QString message;
    switch (files.open(QDateTime::currentDateTime())) {
    case ExportFiles::OpenResult::Opened:
    case ExportFiles::OpenResult::AlreadyOpen:
        return;
    case ExportFiles::OpenResult::HexFailed:
        message = QStringLiteral("Failed to create HEX seed file");
        break;
    case ExportFiles::OpenResult::B32Failed:
        message = QStringLiteral("Failed to create B32 seed file");
        break;
    case ExportFiles::OpenResult::AzureFailed:
        message = QStringLiteral("Failed to create Azure seed file");
        break;
    }
    op.showMessage(message, kAppTitle, MessageIcon::Stop);
}

QStringList AppendExportRecord(ExportFiles& files, Operator& op, const ExportRecord& record)
{
    // A set that could not be created at the press is tried again rather than
    // the record dropped.
    if (!files.isOpen())
        OpenExportFiles(files, op);
    const QStringList failed = files.append(record);
    for (const QString& path : failed)
        op.showMessage(QStringLiteral("Failed to write the seed file %1\n"
                                      "The record of token %2 is missing from it.")
                           .arg(path, record.serialNumber),
                       kAppTitle, MessageIcon::Stop);
    return failed;
}
