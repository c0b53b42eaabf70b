#include "PskcDocument.h"

#include "PskcXml.h"
#include "SecretText.h"

namespace {

// The same maker and model as the CSV export files name.
constexpr char kManufacturer[] = "Morvane";
constexpr char kModel[] = "Zentoka";

constexpr char kPskcNamespace[] = "urn:ietf:params:xml:ns:keyprov:pskc";
constexpr char kXmlDsigNamespace[] = "http://www.w3.org/2000/09/xmldsig#";
constexpr char kXmlEncNamespace[] = "http://www.w3.org/2001/04/xmlenc#";

// The seed's bytes as Base64, to be wiped (WipeText) when done.
QByteArray Base64Seed(const ByteString& seed)
{
    QByteArray raw(reinterpret_cast<const char*>(seed.data()), static_cast<qsizetype>(seed.size()));
    QByteArray base64 = raw.toBase64();
    WipeText(raw);
    return base64;
}

// <name><PlainValue>value</PlainValue></name>
void WritePlainInteger(QXmlStreamWriter& xml, const QString& name, int value)
{
    xml.writeStartElement(name);
    xml.writeTextElement(QStringLiteral("PlainValue"), QString::number(value));
    xml.writeEndElement();
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
    PskcXmlPiece piece;
    QXmlStreamWriter& xml = piece.xml();
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("KeyContainer"));
    xml.writeAttribute(QStringLiteral("Version"), QStringLiteral("1.0"));
    xml.writeDefaultNamespace(QLatin1String(kPskcNamespace));
    if (cipher) {
        xml.writeNamespace(QLatin1String(kXmlDsigNamespace), QStringLiteral("ds"));
        xml.writeNamespace(QLatin1String(kXmlEncNamespace), QStringLiteral("xenc"));
    }
    // The container stays open: its key and the KeyPackages follow.
    xml.writeCharacters(QString());
    return cipher ? piece.lines() + cipher->containerElements() : piece.lines();
}

std::optional<QByteArray> PskcKeyPackage(const PskcRecord& record, int keyId,
                                         const PskcCipher* cipher, QString* problem)
{
    // The secret stays out of the writer: its elements (cipher) or its
    // Base64 (in clear) go into the place kept for them.
    QByteArray secret;
    if (cipher) {
        std::optional<QByteArray> encrypted = cipher->secretElements(record.seed, problem);
        if (!encrypted)
            return std::nullopt;
        secret = std::move(*encrypted);
    } else {
        secret = Base64Seed(record.seed);
    }
    PskcXmlPiece piece({QStringLiteral("KeyContainer")});
    QXmlStreamWriter& xml = piece.xml();
    // The elements in the order of RFC 6030's schema: DeviceInfo's maker
    // before the serial number, Data's Time before TimeInterval.
    xml.writeStartElement(QStringLiteral("KeyPackage"));
    xml.writeStartElement(QStringLiteral("DeviceInfo"));
    xml.writeTextElement(QStringLiteral("Manufacturer"), QLatin1String(kManufacturer));
    xml.writeTextElement(QStringLiteral("SerialNo"), record.serialNumber);
    xml.writeTextElement(QStringLiteral("Model"), QLatin1String(kModel));
    xml.writeEndElement(); // DeviceInfo
    xml.writeStartElement(QStringLiteral("Key"));
    xml.writeAttribute(QStringLiteral("Id"), QString::number(keyId));
    xml.writeAttribute(QStringLiteral("Algorithm"), QLatin1String(kPskcTotp));
    xml.writeStartElement(QStringLiteral("AlgorithmParameters"));
    xml.writeTextElement(QStringLiteral("Suite"), record.algorithm);
    xml.writeEmptyElement(QStringLiteral("ResponseFormat"));
    xml.writeAttribute(QStringLiteral("Length"), QString::number(record.digits));
    xml.writeAttribute(QStringLiteral("Encoding"), QStringLiteral("DECIMAL"));
    xml.writeEndElement(); // AlgorithmParameters
    xml.writeStartElement(QStringLiteral("Data"));
    xml.writeStartElement(QStringLiteral("Secret"));
    if (!cipher)
        xml.writeStartElement(QStringLiteral("PlainValue"));
    piece.keepPlace();
    if (!cipher)
        xml.writeEndElement(); // PlainValue
    xml.writeEndElement();     // Secret
    WritePlainInteger(xml, QStringLiteral("Time"), 0);
    WritePlainInteger(xml, QStringLiteral("TimeInterval"), record.timeStep);
    xml.writeEndElement(); // Data
    xml.writeEndElement(); // Key
    xml.writeEndElement(); // KeyPackage
    QByteArray package = piece.lines(secret);
    WipeText(secret);
    return package;
}
