#pragma once

#include <QImage>
#include <QString>

class QMimeData;

// A picture the operator already holds, as the clipboard or a drop hands it
// over: a picture file, or picture data (a copied image).
struct HeldPicture
{
    bool held = false; // false: the data holds neither a file nor picture data
    QString path;      // a local file, read like Load Image File reads one
    QImage picture;    // picture data; null when it could not be decoded
};

// A local file comes first: it is read by the station's own picture loader.
HeldPicture PictureIn(const QMimeData* data);
