// Whatever the RTF reader makes of the input, the writer must put into RTF that reads back to the
// same text: read, write, read again, and the body and the footer say exactly what they said.
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FontconfigLeak.h"

namespace {

struct TRead {
    QTextDocument Body;
    QTextDocument Footer;
};

void Read(std::string_view rtf, TRead& into)
{
    QTextCursor cursor(&into.Body);
    TRtfReadOptions options;
    options.FooterTarget = &into.Footer;
    options.DrawMetafiles = false;  // the pictures' bytes travel unchanged either way
    ReadRtf(rtf, cursor, options);
}

void Differs(const char* what, const QString& first, const QString& again)
{
    std::fprintf(stderr, "%s differs after writing and reading again:\n--- read\n%s\n--- again\n%s\n", what,
                 qPrintable(first), qPrintable(again));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TRead first;
    Read(std::string_view(reinterpret_cast<const char*>(data), size), first);
    TRtfWriteOptions writeOptions;
    writeOptions.Footer = &first.Footer;
    const std::string rtf = WriteRtf(first.Body, writeOptions);
    TRead again;
    Read(rtf, again);
    if (again.Body.toPlainText() != first.Body.toPlainText())
        Differs("The text", first.Body.toPlainText(), again.Body.toPlainText());
    // An empty footer is not written at all, and reading nothing leaves it empty.
    if (again.Footer.toPlainText() != first.Footer.toPlainText())
        Differs("The footer", first.Footer.toPlainText(), again.Footer.toPlainText());
    return 0;
}
