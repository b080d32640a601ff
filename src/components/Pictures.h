#pragma once

#include "RtfFormat.h"

#include <QByteArray>
#include <QImage>
#include <QSizeF>

// A picture as RTF describes it, and its conversion into an image the document can show.
struct TPicture {
    rtf::TPictKind Kind = rtf::PictNone;
    QByteArray Data;
    int PicW = 0, PicH = 0;          // pixels for bitmaps, 0.01 mm for metafiles
    int GoalW = 0, GoalH = 0;        // twips
    int ScaleX = 100, ScaleY = 100;  // percent
    int MapMode = 8;                 // \wmetafileN
    bool Truncated = false;          // data was cut at the size limit or the end of input
};

// Largest picture data the reader keeps, and the largest image it will decode.
constexpr qsizetype kMaxPictureBytes = 32 * 1024 * 1024;
constexpr int kMaxImagePixels = 6000 * 6000;

// Draws the picture; a picture that cannot be decoded gives a framed placeholder of the
// size the text asked for, so that nothing vanishes from the page.  displayPx receives
// the size at which the picture is laid out, in layout pixels.
QImage RenderPicture(const TPicture& picture, QSizeF& displayPx);

// Converts a metafile to SVG; empty when the data cannot be converted.
QByteArray WmfToSvg(const QByteArray& wmf);
QByteArray EmfToSvg(const QByteArray& emf);
