#include "Pictures.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <algorithm>
#include <cstring>

extern "C" {
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
}

namespace {

constexpr double kMaxDisplayPx = 4000.0;

QImage DecodeBitmap(const QByteArray& bytes, const char* format)
{
    {
        // Look at the size first, so a small file claiming a huge image is never decoded.
        QBuffer probe;
        probe.setData(bytes);
        probe.open(QIODevice::ReadOnly);
        QImageReader reader(&probe, format);
        const QSize size = reader.size();
        if (size.isValid() && qint64(size.width()) * size.height() > kMaxImagePixels)
            return {};
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAllocationLimit(256);
    return reader.read();
}

// A DIB is a BMP file without its 14-byte file header; put one in front of it.
QImage DecodeDib(const QByteArray& dib)
{
    if (dib.size() < 40)
        return {};
    const auto* p = reinterpret_cast<const uchar*>(dib.constData());
    const quint32 headerSize = qFromLittleEndian<quint32>(p);
    if (headerSize < 12 || headerSize > quint32(dib.size()))
        return {};
    quint32 bitCount = 0, colorsUsed = 0, compression = 0;
    if (headerSize == 12) {
        bitCount = qFromLittleEndian<quint16>(p + 10);
    } else {
        bitCount = qFromLittleEndian<quint16>(p + 14);
        compression = qFromLittleEndian<quint32>(p + 16);
        colorsUsed = qFromLittleEndian<quint32>(p + 32);
    }
    quint32 paletteEntries = colorsUsed;
    if (paletteEntries == 0 && bitCount <= 8)
        paletteEntries = 1u << bitCount;
    if (paletteEntries > 256)
        return {};
    quint32 masks = (compression == 3 && headerSize == 40) ? 12 : 0;
    const quint32 entrySize = headerSize == 12 ? 3 : 4;
    const quint32 offset = 14 + headerSize + masks + paletteEntries * entrySize;
    QByteArray file;
    file.reserve(dib.size() + 14);
    uchar head[14] = {'B', 'M'};
    qToLittleEndian<quint32>(quint32(dib.size() + 14), head + 2);
    qToLittleEndian<quint32>(offset, head + 10);
    file.append(reinterpret_cast<const char*>(head), 14);
    file.append(dib);
    return DecodeBitmap(file, "bmp");
}

QImage RenderSvg(const QByteArray& svg, QSizeF displayPx)
{
    if (svg.isEmpty())
        return {};
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    // Twice the layout resolution keeps printed line art sharp enough.
    QSize size = (displayPx * 2).toSize();
    size = size.boundedTo(QSize(3000, 3000)).expandedTo(QSize(1, 1));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QImage Placeholder(QSizeF displayPx)
{
    const QSize size = displayPx.toSize().expandedTo(QSize(8, 8)).boundedTo(QSize(2000, 2000));
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(0xee, 0xee, 0xee));
    QPainter painter(&image);
    painter.setPen(QColor(0x88, 0x88, 0x88));
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    painter.drawLine(0, 0, size.width() - 1, size.height() - 1);
    painter.drawLine(0, size.height() - 1, size.width() - 1, 0);
    return image;
}

// Checks the record structure before libwmf sees the data: the library trusts record
// sizes, and a record running past the end would make it read outside the buffer.
bool WmfLooksSound(const QByteArray& wmf)
{
    const auto* p = reinterpret_cast<const uchar*>(wmf.constData());
    qsizetype pos = 0;
    const qsizetype n = wmf.size();
    if (n >= 22 && qFromLittleEndian<quint32>(p) == 0x9AC6CDD7u)
        pos = 22;
    if (n - pos < 18)
        return false;
    const quint16 type = qFromLittleEndian<quint16>(p + pos);
    const quint16 headerWords = qFromLittleEndian<quint16>(p + pos + 2);
    if ((type != 1 && type != 2) || headerWords != 9)
        return false;
    pos += 18;
    int records = 0;
    while (pos + 6 <= n) {
        const quint32 words = qFromLittleEndian<quint32>(p + pos);
        const quint16 function = qFromLittleEndian<quint16>(p + pos + 4);
        if (words < 3 || qint64(words) * 2 > n - pos)
            return false;
        if (function == 0)
            return records > 0;
        pos += qsizetype(words) * 2;
        if (++records > 2'000'000)
            return false;
    }
    return false;
}

}  // namespace

QByteArray WmfToSvg(const QByteArray& wmf)
{
    if (!WmfLooksSound(wmf))
        return {};
    wmfAPI* api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return {};
    }
    QByteArray result;
    QByteArray copy = wmf;
    if (wmf_mem_open(api, reinterpret_cast<unsigned char*>(copy.data()), copy.size()) == wmf_E_None) {
        wmfD_Rect bbox;
        if (wmf_scan(api, 0, &bbox) == wmf_E_None) {
            wmf_svg_t* svg = WMF_SVG_GetData(api);
            svg->out = wmf_stream_create(api, nullptr);
            svg->Description = const_cast<char*>("picture");
            svg->bbox = bbox;
            unsigned int width = 0, height = 0;
            if (wmf_display_size(api, &width, &height, 96, 96) == wmf_E_None && width > 0 && height > 0 &&
                width < 100000 && height < 100000) {
                svg->width = width;
                svg->height = height;
                if (wmf_play(api, 0, &bbox) == wmf_E_None) {
                    char* buffer = nullptr;
                    unsigned long length = 0;
                    wmf_stream_destroy(api, svg->out, &buffer, &length);
                    svg->out = nullptr;
                    if (buffer)
                        result = QByteArray(buffer, qsizetype(length));
                    // The buffer was allocated by the API and is freed with it.
                }
            }
            if (svg->out)
                wmf_stream_destroy(api, svg->out, nullptr, nullptr);
        }
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return result;
}

QByteArray EmfToSvg(const QByteArray& emf)
{
    if (emf.size() < 88)
        return {};
    const auto* p = reinterpret_cast<const uchar*>(emf.constData());
    // EMR_HEADER with the " EMF" signature.
    if (qFromLittleEndian<quint32>(p) != 1 || qFromLittleEndian<quint32>(p + 40) != 0x464D4520u)
        return {};
    generatorOptions options{};
    options.nameSpace = const_cast<char*>("");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = 0;
    options.imgHeight = 0;
    QByteArray copy = emf;
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &out, &outLength, &options);
    QByteArray result;
    if (ok && out)
        result = QByteArray(out, qsizetype(outLength));
    free(out);
    return result;
}

QImage RenderPicture(const TPicture& picture, QSizeF& displayPx)
{
    QImage image;
    QByteArray svg;
    switch (picture.Kind) {
    case rtf::PictPng:
        image = DecodeBitmap(picture.Data, "png");
        break;
    case rtf::PictJpeg:
        image = DecodeBitmap(picture.Data, "jpeg");
        break;
    case rtf::PictDib:
        image = DecodeDib(picture.Data);
        break;
    case rtf::PictWmf:
        svg = WmfToSvg(picture.Data);
        break;
    case rtf::PictEmf:
        svg = EmfToSvg(picture.Data);
        break;
    default:
        break;
    }
    const bool metafile = picture.Kind == rtf::PictWmf || picture.Kind == rtf::PictEmf;
    double w = 0, h = 0;
    if (picture.GoalW > 0 && picture.GoalH > 0) {
        w = rtf::TwipsToPx(picture.GoalW);
        h = rtf::TwipsToPx(picture.GoalH);
    } else if (metafile && picture.PicW > 0 && picture.PicH > 0) {
        w = picture.PicW * rtf::kLayoutDpi / 2540.0;
        h = picture.PicH * rtf::kLayoutDpi / 2540.0;
    } else if (!image.isNull()) {
        w = image.width();
        h = image.height();
    } else if (picture.PicW > 0 && picture.PicH > 0) {
        w = picture.PicW;
        h = picture.PicH;
    } else {
        w = h = 48;
    }
    w = w * std::clamp(picture.ScaleX, 1, 1000) / 100.0;
    h = h * std::clamp(picture.ScaleY, 1, 1000) / 100.0;
    if (w > kMaxDisplayPx || h > kMaxDisplayPx) {
        const double f = kMaxDisplayPx / std::max(w, h);
        w *= f;
        h *= f;
    }
    displayPx = QSizeF(std::max(w, 1.0), std::max(h, 1.0));
    if (!svg.isEmpty())
        image = RenderSvg(svg, displayPx);
    if (image.isNull())
        image = Placeholder(displayPx);
    return image;
}
