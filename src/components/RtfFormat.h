#pragma once

#include <QTextBlock>
#include <QTextFormat>

#include <algorithm>
#include <QUrl>

// Units, custom format properties and field kinds shared by the RTF reader, the writer and
// the text control, so that what one writes into a QTextDocument the others understand.
namespace rtf {

// Every document the control lays out uses this resolution, whatever the screen's, so that
// pagination does not depend on the display a text happens to be shown on.
constexpr double kLayoutDpi = 96.0;
constexpr double kTwipsPerPx = 1440.0 / kLayoutDpi;

inline double TwipsToPx(double twips) { return twips / kTwipsPerPx; }
inline int PxToTwips(double px) { return static_cast<int>(px * kTwipsPerPx + (px < 0 ? -0.5 : 0.5)); }

// Field kinds, the values of FieldKind on the control.
enum TFieldKind : int {
    FieldNone = 0,
    FieldText = 1,      // shows its own text
    FieldLink = 2,      // hyperlink; the target is the anchor href of its characters
    FieldPage = 3,      // number of the page it is drawn on
    FieldNumPages = 4,  // number of pages of the whole text
};

// Kinds of stored pictures; the original bytes are kept so that writing gives them back.
enum TPictKind : int {
    PictNone = 0,
    PictPng = 1,
    PictJpeg = 2,
    PictDib = 3,
    PictWmf = 4,
    PictEmf = 5,
    PictOther = 6,  // a format we cannot draw; kept and written back, shown as a placeholder
};

// Character properties of field characters.
constexpr int kFieldIdProperty = QTextFormat::UserProperty + 1;
constexpr int kFieldKindProperty = QTextFormat::UserProperty + 2;
// The instruction text of a field we keep but do not interpret.
constexpr int kFieldInstProperty = QTextFormat::UserProperty + 3;

// Image properties: the original picture kind and its \picw/\pich/\wmetafile values.
constexpr int kPictKindProperty = QTextFormat::UserProperty + 10;
constexpr int kPictWProperty = QTextFormat::UserProperty + 11;
constexpr int kPictHProperty = QTextFormat::UserProperty + 12;
constexpr int kPictMapModeProperty = QTextFormat::UserProperty + 13;

// Block properties Qt has no place for: tab leaders (a QList<int> parallel to tabPositions),
// keep-with-next, and keep-together (Qt's nonBreakableLines would stop the lines wrapping).
constexpr int kTabLeadersProperty = QTextFormat::UserProperty + 20;
constexpr int kKeepNextProperty = QTextFormat::UserProperty + 21;
constexpr int kKeepTogetherProperty = QTextFormat::UserProperty + 22;
// A paragraph's own space before, in pixels, where its top margin also holds the space after the
// paragraph above: word processors add the two, while Qt lays out only the larger of them.
constexpr int kSpaceBeforeProperty = QTextFormat::UserProperty + 23;

// Page flow that composition gives a laid-out text's paragraphs: a page break in front, keep the
// lines together, keep with the next paragraph. It lives in the block's user state, not in its
// format, so setting it lays nothing out again (a format change would lay out the rest of a
// 200-page text). Whoever reads a paragraph's flow asks both.
enum TBlockFlow { kFlowBreakBefore = 1, kFlowKeepTogether = 2, kFlowKeepNext = 4 };
inline int BlockFlow(const QTextBlock& b)
{
    return b.isValid() ? std::max(b.userState(), 0) : 0;
}
inline bool BreaksBefore(const QTextBlock& b)
{
    return (b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) || (BlockFlow(b) & kFlowBreakBefore);
}
inline bool KeepsTogether(const QTextBlock& b)
{
    return b.blockFormat().property(kKeepTogetherProperty).toBool() || (BlockFlow(b) & kFlowKeepTogether);
}
inline bool KeepsWithNext(const QTextBlock& b)
{
    return b.blockFormat().property(kKeepNextProperty).toBool() || (BlockFlow(b) & kFlowKeepNext);
}

// The space before a paragraph as written in RTF.
inline double SpaceBefore(const QTextBlockFormat& f)
{
    return f.hasProperty(kSpaceBeforeProperty) ? f.doubleProperty(kSpaceBeforeProperty) : f.topMargin();
}

// Sets a paragraph's space before so that, under the paragraph above whose space after is
// spaceAbove, the layout shows their sum.
inline void SetSpaceBefore(QTextBlockFormat& f, double spaceBefore, double spaceAbove)
{
    if (spaceAbove > 0) {
        f.setProperty(kSpaceBeforeProperty, spaceBefore);
        f.setTopMargin(spaceBefore + spaceAbove);
    } else {
        f.clearProperty(kSpaceBeforeProperty);
        f.setTopMargin(spaceBefore);
    }
}

// Tab leaders as stored in kTabLeadersProperty.
enum TTabLeader : int { LeaderNone = 0, LeaderDot = 1, LeaderHyphen = 2, LeaderUnderline = 3, LeaderThick = 4, LeaderEquals = 5 };

// Resource type under which the original bytes of a picture are kept beside its image.
// QTextDocument keys resources by URL alone, so the bytes live under their own URL.
constexpr int kPictDataResource = 100 + 7;
inline QUrl PictDataUrl(const QString& imageName) { return QUrl(imageName + QStringLiteral(".data")); }

}  // namespace rtf
