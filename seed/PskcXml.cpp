#include "PskcXml.h"

const char kPskcAes128Cbc[] = "http://www.w3.org/2001/04/xmlenc#aes128-cbc";
const char kPskcHmacSha256[] = "http://www.w3.org/2001/04/xmldsig-more#hmac-sha256";
const char kPskcTotp[] = "urn:ietf:params:xml:ns:keyprov:pskc:totp";

bool IsXmlText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.unicode() < 0x20 || c.isSurrogate() || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            return false;
    }
    return true;
}

QByteArray XmlEscaped(const QString& text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
