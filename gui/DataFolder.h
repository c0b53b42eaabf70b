#pragma once

#include <QString>

class Operator;
class QAction;
class QWidget;

// The name the installed station goes by: its program in /usr/bin and its
// folder in the user's data folder.
inline constexpr const char* kInstalledProgramName = "token-station";

// The folder that receives the export files. A station run from a folder it
// may write to (its build folder, a copy on a USB stick) keeps them beside
// the program, in Data, as it always has. An installed station cannot write
// beside its program, and must not even as root (the system's package
// manager owns everything under /usr): it keeps them in the user's data
// folder, $XDG_DATA_HOME/token-station/Data, usually
// ~/.local/share/token-station/Data.
QString ChooseDataFolder(const QString& programFolder);

// The folder for this process: ChooseDataFolder of the program's own folder.
QString DataFolder();

// Creates the folder if need be and shows it in the desktop's file manager.
// A folder that cannot be created or shown is reported to the operator.
void OpenDataFolder(const QString& folder, Operator& op);

// The window's "Open Data Folder" action (objectName openDataFolderAction).
QAction* MakeOpenDataFolderAction(QWidget* window, const QString& folder, Operator& op);
