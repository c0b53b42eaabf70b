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
    QByteArray escaped;
    QXmlStreamWriter xml(&escaped);
    xml.writeCharacters(text);
    return escaped;
}

PskcXmlPiece::PskcXmlPiece(const QStringList& enclosing)
{
    m_enclosing.setBuffer(&m_enclosingBytes);
    m_enclosing.open(QIODevice::WriteOnly);
    m_piece.setBuffer(&m_bytes);
    m_piece.open(QIODevice::WriteOnly);
    m_xml.setAutoFormatting(true);
    m_xml.setAutoFormattingIndent(2);
    // The writer indents by the elements it has open: it opens the enclosing
    // ones where their tags are not kept. The empty comment ends the last
    // start tag as an element would, so that the piece's first element is
    // indented on a line of its own.
    m_xml.setDevice(&m_enclosing);
    for (const QString& name : enclosing)
        m_xml.writeStartElement(name);
    if (!enclosing.isEmpty())
        m_xml.writeComment(QString());
    m_xml.setDevice(&m_piece);
}

void PskcXmlPiece::keepPlace()
{
    m_xml.writeCharacters(QString());
    m_place = m_bytes.size();
}

QByteArray PskcXmlPiece::lines(const QByteArray& content) const
{
    // Inside an enclosing element the writer begins the piece with the line
    // break before its first element; the document's pieces end with theirs.
    const qsizetype from = m_bytes.startsWith('\n') ? 1 : 0;
    const qsizetype place = m_place >= 0 ? m_place : m_bytes.size();
    QByteArray before, after;
    if (content.endsWith('\n')) {
        const qsizetype lineStart = m_bytes.lastIndexOf('\n', place - 1) + 1;
        qsizetype indent = 0;
        while (lineStart + indent < place && m_bytes[lineStart + indent] == ' ')
            ++indent;
        before = "\n";
        after = QByteArray(indent, ' ');
    }
    QByteArray piece;
    piece.reserve(m_bytes.size() - from + before.size() + content.size() + after.size() + 1);
    piece.append(m_bytes.constData() + from, place - from);
    piece += before;
    piece += content;
    piece += after;
    piece.append(m_bytes.constData() + place, m_bytes.size() - place);
    piece += '\n';
    return piece;
}
