#pragma once

#include <string>

class QTextDocument;

// Page set-up written into the RTF, in twips.
struct TRtfPageSetup {
    int PaperWidth = 11906;   // A4
    int PaperHeight = 16838;
    int MarginLeft = 1440, MarginRight = 1440, MarginTop = 1440, MarginBottom = 1440;
    int FooterY = 720;        // distance of the footer from the bottom edge
};

struct TRtfWriteOptions {
    const QTextDocument* Footer = nullptr;  // written as the footer of every page when not empty
    TRtfPageSetup Page;
};

// Writes a whole document as RTF: Windows-1252 text with \'hh escapes above 0x7F, \uN for
// characters outside the code page, tables, pictures (their original bytes where the reader
// kept them, PNG otherwise), links and page fields as fields, page breaks and the footer.
std::string WriteRtf(const QTextDocument& document, const TRtfWriteOptions& options = {});
