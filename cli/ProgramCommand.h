#pragma once

#include <QString>
#include <QStringList>

class ConsoleOperator;

// `station program ...`: the arguments after "program". Runs until every
// reader's token is done, or with --auto until interrupted.
int RunProgramCommand(const QStringList& arguments, ConsoleOperator& op, const QString& dataFolder);
