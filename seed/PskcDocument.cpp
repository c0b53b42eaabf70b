#include "PskcDocument.h"

#include "PskcXml.h"
#include "SecretText.h"

namespace {

// The same maker and model as the CSV export files name.
constexpr char kManufacturer[] = "Morvane";
constexpr char kModel[] = "Zentoka";

QByteArray PlainSecret(const ByteString& seed)
{
    QByteArray raw(reinterpret_cast<const char*>(seed.data()), static_cast<qsizetype>(seed.size()));
    QByteArray base64 = raw.toBase64();
    WipeText(raw);
    const QByteArray open = "          <PlainValue>", close = "</PlainValue>\n";
    QByteArray element;
    element.reserve(open.size() + base64.size() + close.size());
    element += open;
    element += base64;
    element += close;
    WipeText(base64);
    return element;
}

QByteArray PlainInteger(const char* name, int value)
{
    return QByteArray("        <") + name + ">\n          <PlainValue>" +
           QByteArray::number(value) + "</PlainValue>\n        </" + name + ">\n";
}

} // namespace

const char kPskcDocumentTail[] = "</KeyContainer>\n";

QString PskcRecordProblem(const PskcRecord& record)
{
    const QString token = QStringLiteral("token %1").arg(record.serialNumber);
    if (record.serialNumber.isEmpty())
        return QStringLiteral("The token has no serial number.");
    if (!IsXmlText(record.serialNumber))
        return QStringLiteral("The serial number of %1 holds characters an XML file cannot "
                              "carry.")
            .arg(token);
    if (record.seed.empty())
        return QStringLiteral("The seed of %1 is empty.").arg(token);
    if (record.algorithm != QLatin1String("SHA1") && record.algorithm != QLatin1String("SHA256"))
        return QStringLiteral("The algorithm of %1 is \"%2\", not SHA1 or SHA256.")
            .arg(token, record.algorithm);
    if (record.digits < 6 || record.digits > 8)
        return QStringLiteral("The codes of %1 have %2 digits; a TOTP code has 6 to 8.")
            .arg(token, QString::number(record.digits));
    if (record.timeStep < 1)
        return QStringLiteral("The time step of %1 is %2 seconds.")
            .arg(token, QString::number(record.timeStep));
    return {};
}

QByteArray PskcDocumentHead(const PskcCipher* cipher)
{
    QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<KeyContainer Version=\"1.0\" xmlns=\"urn:ietf:params:xml:ns:keyprov:pskc\"";
    if (!cipher)
        return head + ">\n";
    return head +
           " xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\""
           " xmlns:xenc=\"http://www.w3.org/2001/04/xmlenc#\">\n" +
           cipher->containerElements();
}

std::optional<QByteArray> PskcKeyPackage(const PskcRecord& record, int keyId,
                                         const PskcCipher* cipher, QString* problem)
{
    QByteArray secret;
    if (cipher) {
        std::optional<QByteArray> encrypted = cipher->secretElements(record.seed, problem);
        if (!encrypted)
            return std::nullopt;
        secret = std::move(*encrypted);
    } else {
        secret = PlainSecret(record.seed);
    }
    // The elements in the order of RFC 6030's schema: DeviceInfo's maker
    // before the serial number, Data's Time before TimeInterval.
    const QByteArray before =
        QByteArray("  <KeyPackage>\n    <DeviceInfo>\n      <Manufacturer>") + kManufacturer +
        "</Manufacturer>\n      <SerialNo>" + XmlEscaped(record.serialNumber) +
        "</SerialNo>\n      <Model>" + kModel + "</Model>\n    </DeviceInfo>\n    <Key Id=\"" +
        QByteArray::number(keyId) + "\" Algorithm=\"" + kPskcTotp +
        "\">\n      <AlgorithmParameters>\n        <Suite>" + record.algorithm.toLatin1() +
        "</Suite>\n        <ResponseFormat Length=\"" + QByteArray::number(record.digits) +
        "\" Encoding=\"DECIMAL\"/>\n      </AlgorithmParameters>\n      <Data>\n        <Secret>\n";
    const QByteArray after = "        </Secret>\n" + PlainInteger("Time", 0) +
                             PlainInteger("TimeInterval", record.timeStep) +
                             "      </Data>\n    </Key>\n  </KeyPackage>\n";
    // One buffer of the final size: no partial copy of a clear seed is left
    // behind unwiped.
    QByteArray package;
    package.reserve(before.size() + secret.size() + after.size());
    package += before;
    package += secret;
    package += after;
    WipeText(secret);
    return package;
}
