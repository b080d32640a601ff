// hvrtf IN.rtf OUT.{pdf,html,txt,rtf}: converts RTF through the text control, the way the
// program itself shows, prints and exports texts.
#include "TextControl.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Fail(const char* message, const QString& detail = {})
{
    std::fprintf(stderr, "hvrtf: %s%s%s\n", message, detail.isEmpty() ? "" : ": ", detail.toLocal8Bit().constData());
    return 1;
}

// Pictures live in the document's resources; HTML needs them inline.
QString HtmlWithPictures(const QTextDocument& doc)
{
    QString html = doc.toHtml();
    static const QRegularExpression source(QStringLiteral("src=\"(hvpict:[0-9]+)\""));
    QString result;
    qsizetype last = 0;
    for (auto it = source.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        result += QStringView(html).mid(last, m.capturedStart() - last);
        const QVariant v = doc.resource(QTextDocument::ImageResource, QUrl(m.captured(1)));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        v.value<QImage>().save(&buffer, "PNG");
        result += QStringLiteral("src=\"data:image/png;base64,") + QString::fromLatin1(png.toBase64()) + QLatin1Char('"');
        last = m.capturedEnd();
    }
    result += QStringView(html).mid(last);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: hvrtf IN.rtf OUT.{pdf,html,txt,rtf}\n");
        return 2;
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly))
        return Fail("cannot read", args[1]);
    const QByteArray bytes = in.readAll();
    TTXTextControl control;
    control.LoadFromString(std::string_view(bytes.constData(), std::size_t(bytes.size())), TTXTextControl::FormatRtf, true);

    const QString out = args[2];
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix == QLatin1String("rtf")) {
        if (!control.SaveToFile(out, 0, TTXTextControl::FormatRtf, true))
            return Fail("cannot write", out);
        return 0;
    }
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
        QFile file(out);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return Fail("cannot write", out);
        const QString text = suffix == QLatin1String("txt") ? control.document()->toPlainText() + QLatin1Char('\n')
                                                            : HtmlWithPictures(*control.document());
        const QByteArray utf8 = text.toUtf8();
        if (file.write(utf8) != utf8.size())
            return Fail("cannot write", out);
        return 0;
    }
    if (suffix == QLatin1String("pdf")) {
        QPdfWriter writer(out);
        writer.setResolution(600);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        writer.setCreator(QStringLiteral("hvrtf"));
        QPainter painter(&writer);
        if (!painter.isActive())
            return Fail("cannot write", out);
        control.SetPrintDevice(&writer);
        const int pages = control.CurrentPages();
        for (int page = 1; page <= pages; ++page) {
            if (page > 1)
                writer.newPage();
            control.PrintPage(page);
        }
        painter.end();
        return 0;
    }
    return Fail("unknown output type", suffix);
}
