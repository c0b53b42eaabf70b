#pragma once

#include "ByteString.h"

#include <QByteArray>
#include <QString>
#include <string>

// Overwrites the characters of a text that held a seed, then empties it.
// A text that shares its storage with another copy is only released: writing
// through it would detach and wipe a fresh copy instead of the shared one.
inline void WipeText(QString& text)
{
    if (text.isDetached())
        WipeMemory(text.data(), static_cast<size_t>(text.size()) * sizeof(QChar));
    text = QString();
}

inline void WipeText(std::string& text)
{
    WipeMemory(text.data(), text.size());
    text.clear();
}

// The same for bytes that held a seed or a key (a seed's Base64 or hex, a
// document that carries seeds).
inline void WipeText(QByteArray& bytes)
{
    if (bytes.isDetached())
        WipeMemory(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes = QByteArray();
}

// Wipes a text with WipeText when the scope ends, on every way out of it.
class WipeTextOnExit
{
public:
    explicit WipeTextOnExit(QString& text) : m_text(text) {}
    ~WipeTextOnExit() { WipeText(m_text); }
    WipeTextOnExit(const WipeTextOnExit&) = delete;
    WipeTextOnExit& operator=(const WipeTextOnExit&) = delete;

private:
    QString& m_text;
};
