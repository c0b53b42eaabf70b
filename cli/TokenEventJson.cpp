#include "TokenEventJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString ResultName(TokenOutcome::Result result)
{
    switch (result) {
    case TokenOutcome::Result::Programmed:
        return QStringLiteral("programmed");
    case TokenOutcome::Result::NotRecorded:
        return QStringLiteral("not-recorded");
    case TokenOutcome::Result::Failed:
        break;
    }
    return QStringLiteral("failed");
}

} // namespace

QByteArray TokenEventJson(const TokenOutcome& outcome)
{
    QJsonObject event;
    event[QStringLiteral("event")] = QStringLiteral("token");
    event[QStringLiteral("reader")] = outcome.readerName;
    event[QStringLiteral("serial")] = outcome.serialNumber;
    event[QStringLiteral("user")] = outcome.userName;
    event[QStringLiteral("result")] = ResultName(outcome.result);
    event[QStringLiteral("again")] = outcome.again;
    event[QStringLiteral("reason")] = outcome.reason;
    event[QStringLiteral("exportFiles")] = QJsonArray::fromStringList(outcome.exportFiles);
    return QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
}
