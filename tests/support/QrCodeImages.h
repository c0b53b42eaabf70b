#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <string>
#include <vector>

// QR pictures made by the tests themselves, as an operator would meet them:
// on paper, on a web page, in a screenshot.

struct QrLook
{
    int pixelsPerModule = 4;
    QColor dark = Qt::black;
    QColor light = Qt::white;
    int quietModules = 4; // the white border a reader needs around the code
    int eccLevel = 1;     // 0..8 in ZXing's scale; low levels damage easily
};

// One QR code holding payload, in RGB32.
QImage QrCodeImage(const std::string& payload, const QrLook& look = QrLook());

// Pictures side by side, left to right, on the light colour of the first.
QImage PicturesInRow(const std::vector<QImage>& pictures, QColor background = Qt::white);

// The code with its middle wiped: the finder patterns stay, so a reader finds
// it, but too much of its data is gone to decode.
QImage DamagedCode(const QImage& code, const QrLook& look = QrLook());

// Light on dark, as a dark-mode page shows a code.
QImage Inverted(const QImage& picture);

// Writes the picture as a GIF of grey levels. Qt reads GIF but does not write
// it, so the tests make their own: 8-bit codes, the code table reset before it
// grows, which keeps the writer tiny at the price of no compression.
bool SaveAsGif(const QImage& picture, const QString& path);
