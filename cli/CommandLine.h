#pragma once

#include <QString>
#include <functional>

// The station's commands for a terminal, on the same engine as the window
// and without a display: `station program`, `station readers`,
// `station info`, `station journal`, `station help`.
bool IsStationCommand(const char* argument);

// Runs the command argv[1] with its arguments; dataFolder gives the folder
// the window would record into (called once the application object exists).
int RunStationCommand(int argc, char** argv, const std::function<QString()>& dataFolder);
