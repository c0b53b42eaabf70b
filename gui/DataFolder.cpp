#include "DataFolder.h"

#include "Operator.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

namespace {

bool IsSystemFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return path == QLatin1String("/usr") || path.startsWith(QLatin1String("/usr/"));
}

} // namespace

QString ChooseDataFolder(const QString& programFolder)
{
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable() && !IsSystemFolder(programFolder))
        return QDir(programFolder).filePath(QStringLiteral("Data"));
    // XDG_DATA_HOME, else ~/.local/share. A relative XDG_DATA_HOME is
    // ignored, as the base directory rules ask: the seeds would otherwise land
    // wherever the station happened to be started.
    QString userData = qEnvironmentVariable("XDG_DATA_HOME");
    if (userData.isEmpty() || QDir::isRelativePath(userData))
        userData = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir(userData).filePath(QLatin1String(kInstalledProgramName) + QStringLiteral("/Data"));
}

QString DataFolder()
{
    return ChooseDataFolder(QCoreApplication::applicationDirPath());
}

void OpenDataFolder(const QString& folder, Operator& op)
{
    if (!QDir().mkpath(folder)) {
        op.showMessage(QCoreApplication::translate("DataFolder", "Cannot create the data folder %1")
                           .arg(QDir::toNativeSeparators(folder)),
                       QStringLiteral("ERROR"), MessageIcon::Stop);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
        op.showMessage(QCoreApplication::translate(
                           "DataFolder", "The desktop has no program to show the data folder %1")
                           .arg(QDir::toNativeSeparators(folder)),
                       QStringLiteral("ERROR"), MessageIcon::Stop);
    }
}

QAction* MakeOpenDataFolderAction(QWidget* window, const QString& folder, Operator& op)
{
    auto* action =
        new QAction(QCoreApplication::translate("DataFolder", "Open Data Folder"), window);
    action->setObjectName(QStringLiteral("openDataFolderAction"));
    QObject::connect(action, &QAction::triggered, window,
                     [folder, &op] { OpenDataFolder(folder, op); });
    return action;
}
