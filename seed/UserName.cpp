#include "UserName.h"

#include <QStringDecoder>

QString UserNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("The user name is empty.");
    if (name.size() > kUserNameMaxLength)
        return QStringLiteral("The user name is longer than %1 characters.")
            .arg(kUserNameMaxLength);
    if (name.front().isSpace() || name.back().isSpace())
        return QStringLiteral("The user name starts or ends with a space.");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return QStringLiteral("The user name holds a control character.");
        if (c == QLatin1Char(',') || c == QLatin1Char('"'))
            return QStringLiteral("The user name holds a \",\" or a '\"'.");
    }
    const QChar first = name.front();
    if (first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-') ||
        first == QLatin1Char('@'))
        return QStringLiteral("The user name starts with \"=\", \"+\", \"-\" or \"@\", which "
                              "spreadsheets take for a formula.");
    return {};
}

bool UserNameFromUtf8(const QByteArray& bytes, QString& name)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    name = decoder(bytes);
    if (decoder.hasError()) {
        name.clear();
        return false;
    }
    return true;
}
