#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamWriter>

// The XML pieces of the PSKC export file.

extern const char kPskcAes128Cbc[];  // xmlenc's AES-128-CBC
extern const char kPskcHmacSha256[]; // xmldsig-more's HMAC-SHA256
extern const char kPskcTotp[];       // the key algorithm of a TOTP token

// True when every character of text may stand in an XML 1.0 text and reads
// back unchanged: no control characters (a reader would turn CR into LF and
// refuse the others), no lone surrogates, no U+FFFE or U+FFFF.
bool IsXmlText(const QString& text);

// text as UTF-8 with "<", ">", "&" and '"' written as entities by Qt's XML
// writer, for an element's text.
QByteArray XmlEscaped(const QString& text);

// One piece of the PSKC document, written with QXmlStreamWriter and laid out
// as the writer lays out a whole document: an element to a line, indented two
// spaces a level. The document is kept as pieces (its head, a KeyPackage per
// token) so that a token is added without writing the others anew.
class PskcXmlPiece
{
public:
    // A piece whose elements stand inside these elements of the document,
    // the outermost first: none for the document's start, "KeyContainer"
    // for a KeyPackage.
    explicit PskcXmlPiece(const QStringList& enclosing = {});
    PskcXmlPiece(const PskcXmlPiece&) = delete;
    PskcXmlPiece& operator=(const PskcXmlPiece&) = delete;

    QXmlStreamWriter& xml() { return m_xml; }

    // Ends the start tag of the element being written and keeps the place of
    // its content, which lines() puts in. For content made outside the
    // writer: a seed's Base64 (the writer would leave copies of it behind,
    // unwiped) or elements another part has laid out.
    void keepPlace();

    // The piece, every line ended by its break, with content in the kept
    // place: text as it stands; lines (content ending in a break) between
    // the element's tags, its end tag on a line of its own. One buffer of
    // the final size, so that no partial copy of a secret content is left
    // behind unwiped.
    QByteArray lines(const QByteArray& content = {}) const;

private:
    QByteArray m_enclosingBytes; // the enclosing elements' tags: not the piece's
    QByteArray m_bytes;
    QBuffer m_enclosing;
    QBuffer m_piece;
    QXmlStreamWriter m_xml;
    qsizetype m_place = -1;
};
