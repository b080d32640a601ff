#pragma once

#include <QString>
#include <QTextCursor>

#include <string_view>

class QTextDocument;

// Limits that keep hostile or broken input from exhausting the reader:
//  - groups nested deeper than kMaxGroupDepth are read as skipped groups (their text is lost,
//    the text around them is kept);
//  - picture data beyond kMaxPictureBytes (Pictures.h) is dropped and the picture shown as a
//    placeholder; a \binN longer than the rest of the input takes only what is there;
//  - a paragraph holds at most kMaxTabStops tab stops, a table row at most kMaxTableColumns
//    cells (further cells are joined into the last one);
//  - \ucN fallback skipping never crosses a group boundary, so \uc1000000 costs nothing;
//  - at most kMaxFields fields and kMaxFonts/kMaxColors table entries are kept.
// Unbalanced braces, truncated files and garbage end the read where the input ends: whatever was
// read before stays in the document.
namespace rtf {
constexpr int kMaxGroupDepth = 4096;
constexpr int kMaxTabStops = 64;
constexpr int kMaxTableColumns = 63;
constexpr int kMaxFields = 100000;
constexpr int kMaxFonts = 10000;
constexpr int kMaxColors = 10000;
}  // namespace rtf

struct TRtfReadOptions {
    // Receives the text of the first \footer group when set; otherwise headers and footers
    // are skipped.  Footnotes, annotations and other out-of-flow text are always skipped.
    QTextDocument* FooterTarget = nullptr;
    // Metafile pictures (WMF, EMF) are converted and drawn when true; placeholders otherwise.
    bool DrawMetafiles = true;
};

struct TRtfReadReport {
    bool StartsAsRtf = false;   // the input began with {\rtf
    bool Balanced = false;      // every group was closed and nothing followed the outer group
    int Pictures = 0;           // pictures inserted, placeholders included
    int Tables = 0;
};

// Reads RTF and inserts its content at the cursor, which ends up after the inserted content.
// The first paragraph takes on the RTF's paragraph formatting only when the cursor's block is
// empty, so inserting into the middle of a paragraph does not reformat it.
TRtfReadReport ReadRtf(std::string_view rtfText, QTextCursor& cursor, const TRtfReadOptions& options = {});
