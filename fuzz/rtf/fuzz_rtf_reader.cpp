// Feeds arbitrary bytes to the RTF reader, then writes the result and reads it again.
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FontconfigLeak.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QTextDocument doc;
    QTextDocument footer;
    QTextCursor cursor(&doc);
    TRtfReadOptions options;
    options.FooterTarget = &footer;
    ReadRtf(std::string_view(reinterpret_cast<const char*>(data), size), cursor, options);
    TRtfWriteOptions writeOptions;
    writeOptions.Footer = &footer;
    const std::string rtf = WriteRtf(doc, writeOptions);
    QTextDocument again;
    QTextCursor againCursor(&again);
    ReadRtf(rtf, againCursor);
    return 0;
}
