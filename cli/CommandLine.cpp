#include "CommandLine.h"

#include "ConsoleOperator.h"
#include "ExportCommand.h"
#include "ProgramCommand.h"
#include "engine/ReaderList.h"
#include "journal/JournalCommand.h"
#include "journal/JournalFiles.h"
#include "token/CardTransport.h"
#include "token/TokenCommands.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: station                 open the window\n"
    "       station program ...     program tokens (station program --help)\n"
    "       station readers         list the smart-card readers, one a line\n"
    "       station info [--reader NAME]...\n"
    "                               read the token on each reader: one JSON line each\n"
    "       station journal [--export DIR] [--since DATE] [--serial S] [--json] [--journal J]\n"
    "                               list the programming journal\n"
    "       station export --journal CONNINFO --key KEY.pem --format F --out DIR\n"
    "                               write the server's file from a fleet's vault\n"
    "       station help            this text\n";

int ListReaderNames(ConsoleOperator& op, QStringList& names)
{
    std::string text;
    if (ListReaders(text) != 0) {
        op.say(QStringLiteral("No smart-card reader found (is pcscd running?)"));
        return 1;
    }
    names = SplitReaderList(QString::fromStdString(text));
    return 0;
}

int RunReaders(ConsoleOperator& op)
{
    QStringList names;
    if (const int status = ListReaderNames(op, names); status != 0)
        return status;
    for (const QString& name : names)
        std::printf("%s\n", name.toUtf8().constData());
    return 0;
}

// One JSON line per reader: its token's serial number and clock, or why
// none was read. Exit status 0 when at least one token was read.
int RunInfo(const QStringList& arguments, ConsoleOperator& op)
{
    QStringList readers;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--reader") && i + 1 < arguments.size()) {
            readers << arguments.at(++i);
        } else {
            op.say(QStringLiteral("station info: unknown argument: %1").arg(arguments.at(i)));
            return 2;
        }
    }
    if (readers.isEmpty())
        if (const int status = ListReaderNames(op, readers); status != 0)
            return status;
    bool anyRead = false;
    for (const QString& reader : readers) {
        uint8_t serial[32] = {};
        uint8_t clock[64] = {};
        unsigned serialLength = sizeof serial;
        unsigned clockLength = sizeof clock;
        const int32_t result =
            TokenReadInfo(reader.toUtf8().constData(), serial, &serialLength, clock, &clockLength);
        QJsonObject line;
        line[QStringLiteral("reader")] = reader;
        if (result == TOKEN_OK) {
            anyRead = true;
            line[QStringLiteral("serial")] = QString::fromUtf8(
                reinterpret_cast<const char*>(serial), static_cast<qsizetype>(serialLength));
            line[QStringLiteral("clock")] = QString::fromUtf8(reinterpret_cast<const char*>(clock),
                                                              static_cast<qsizetype>(clockLength));
        } else {
            line[QStringLiteral("error")] =
                result == TOKEN_ERR_CONNECT
                    ? QStringLiteral("no token")
                    : QStringLiteral("reading the token failed (%1)")
                          .arg(static_cast<uint32_t>(result), 8, 16, QLatin1Char('0'))
                          .toUpper();
        }
        std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    }
    return anyRead ? 0 : 1;
}

} // namespace

bool IsStationCommand(const char* argument)
{
    for (const char* command :
         {"program", "readers", "info", "journal", "export", "help", "--help"})
        if (std::strcmp(argument, command) == 0)
            return true;
    return false;
}

int RunStationCommand(int argc, char** argv, const std::function<QString()>& dataFolder)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const QString command = arguments.takeFirst();
    ConsoleOperator op;
    if (command == QLatin1String("program"))
        return RunProgramCommand(arguments, op, dataFolder());
    if (command == QLatin1String("readers"))
        return RunReaders(op);
    if (command == QLatin1String("info"))
        return RunInfo(arguments, op);
    if (command == QLatin1String("journal")) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return RunJournalCommand(arguments, out, err, JournalDatabasePath(dataFolder()));
    }
    if (command == QLatin1String("export")) {
        QTextStream out(stdout);
        QTextStream err(stderr);
        return RunExportCommand(arguments, out, err);
    }
    std::fputs(kUsage, stdout);
    return 0;
}
