#pragma once

#include <QByteArray>
#include <QString>

// The XML pieces of the PSKC export file.

extern const char kPskcAes128Cbc[];  // xmlenc's AES-128-CBC
extern const char kPskcHmacSha256[]; // xmldsig-more's HMAC-SHA256
extern const char kPskcTotp[];       // the key algorithm of a TOTP token

// True when every character of text may stand in an XML 1.0 text and reads
// back unchanged: no control characters (a reader would turn CR into LF and
// refuse the others), no lone surrogates, no U+FFFE or U+FFFF.
bool IsXmlText(const QString& text);

// text as UTF-8 with "<", ">", "&", '"' and "'" written as entities, for an
// element's text or an attribute value.
QByteArray XmlEscaped(const QString& text);
