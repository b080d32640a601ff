#include "RtfWriter.h"

#include "AnsiString.h"
#include "RtfFormat.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <charconv>
#include <map>
#include <vector>

namespace {

using namespace rtf;

class TWriter {
public:
    TWriter(const QTextDocument& document, const TRtfWriteOptions& options) : Doc(document), Options(options) {}

    std::string Write()
    {
        DefaultFamily = Doc.defaultFont().family();
        FontIndex(DefaultFamily);
        const double width = Options.Page.PaperWidth - Options.Page.MarginLeft - Options.Page.MarginRight;
        TextWidthTwips = int(width);

        std::string body;
        body.reserve(std::size_t(Doc.characterCount()) * 2 + 256);
        Out = &body;
        WriteFrame(Doc.rootFrame(), true);

        std::string footer;
        if (Options.Footer && !Options.Footer->isEmpty()) {
            Out = &footer;
            // The footer's pictures are resources of the footer's own document.
            Source = Options.Footer;
            Put("{\\footer ");
            WriteFrame(Options.Footer->rootFrame(), true);
            Put("\\par}\n");
            Source = &Doc;
        }

        std::string head;
        head.reserve(1024);
        Out = &head;
        Put("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl");
        for (std::size_t i = 0; i < Fonts.size(); ++i) {
            Put("{\\f");
            PutInt(int(i));
            Put(FamilyWord(Fonts[i]));
            Put("\\fcharset0 ");
            PutText(Fonts[i], false);
            Put(";}");
        }
        Put("}\n{\\colortbl;");
        for (const QRgb rgb : Colors) {
            Put("\\red");
            PutInt(qRed(rgb));
            Put("\\green");
            PutInt(qGreen(rgb));
            Put("\\blue");
            PutInt(qBlue(rgb));
            Put(";");
        }
        Put("}\n");
        Put("\\paperw");
        PutInt(Options.Page.PaperWidth);
        Put("\\paperh");
        PutInt(Options.Page.PaperHeight);
        Put("\\margl");
        PutInt(Options.Page.MarginLeft);
        Put("\\margr");
        PutInt(Options.Page.MarginRight);
        Put("\\margt");
        PutInt(Options.Page.MarginTop);
        Put("\\margb");
        PutInt(Options.Page.MarginBottom);
        if (Options.Page.PaperWidth > Options.Page.PaperHeight)
            Put("\\landscape");
        Put("\\sectd\\footery");
        PutInt(Options.Page.FooterY);
        Put("\n");
        head += footer;
        head += body;
        head += "}\n";
        return head;
    }

private:
    const QTextDocument& Doc;
    const TRtfWriteOptions& Options;
    const QTextDocument* Source = &Doc;  // the document being written: the body or the footer
    std::string* Out = nullptr;
    QString DefaultFamily;
    std::vector<QString> Fonts;
    QHash<QString, int> FontIds;
    std::vector<QRgb> Colors;
    QHash<QRgb, int> ColorIds;
    int TextWidthTwips = 9026;
    bool BreakBeforeNext = false;

    void Put(const char* s) { Out->append(s); }
    void Put(char c) { Out->push_back(c); }
    void PutInt(int v)
    {
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        Out->append(buf, r.ptr);
    }
    void Word(const char* w, int v)
    {
        Out->push_back('\\');
        Out->append(w);
        PutInt(v);
    }

    static const char* FamilyWord(const QString& family)
    {
        const QString f = family.toLower();
        if (f.contains(QLatin1String("courier")) || f.contains(QLatin1String("mono")))
            return "\\fmodern";
        if (f.contains(QLatin1String("arial")) || f.contains(QLatin1String("helvet")) || f.contains(QLatin1String("sans")) ||
            f.contains(QLatin1String("verdana")) || f.contains(QLatin1String("tahoma")) || f.contains(QLatin1String("calibri")))
            return "\\fswiss";
        if (f.contains(QLatin1String("symbol")) || f.contains(QLatin1String("wingding")))
            return "\\ftech";
        return "\\froman";
    }

    int FontIndex(const QString& family)
    {
        auto it = FontIds.constFind(family);
        if (it != FontIds.constEnd())
            return *it;
        const int id = int(Fonts.size());
        Fonts.push_back(family);
        FontIds.insert(family, id);
        return id;
    }

    int ColorIndex(QRgb rgb)
    {
        rgb |= 0xFF000000u;
        auto it = ColorIds.constFind(rgb);
        if (it != ColorIds.constEnd())
            return *it;
        Colors.push_back(rgb);
        const int id = int(Colors.size());  // index 0 is "auto"
        ColorIds.insert(rgb, id);
        return id;
    }

    // Text in Windows-1252 with escapes; inField keeps quotes and backslashes readable
    // inside field instructions.
    void PutText(QStringView text, bool allowBreaks)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c >= 0x20 && c < 0x80) {
                if (c == '\\' || c == '{' || c == '}')
                    Out->push_back('\\');
                Out->push_back(char(c));
                continue;
            }
            switch (c) {
            case u'\t': Put("\\tab "); continue;
            case 0x2028: Put(allowBreaks ? "\\line " : " "); continue;
            case 0x2029: case u'\n': case u'\r': Put(allowBreaks ? "\\line " : " "); continue;
            case u'\f': if (allowBreaks) Put("\\page "); continue;
            case 0x00A0: Put("\\~"); continue;
            case 0x00AD: Put("\\-"); continue;
            case 0x2011: Put("\\_"); continue;
            case QChar::ObjectReplacementCharacter: continue;
            default: break;
            }
            if (c < 0x20)
                continue;
            const int b = AnsiByteFor(c);
            if (b >= 0) {
                static const char hex[] = "0123456789abcdef";
                char esc[4] = {'\\', '\'', hex[b >> 4], hex[b & 15]};
                Out->append(esc, 4);
            } else {
                // Outside the code page: \uN with a '?' for readers that skip Unicode.
                Word("u", c > 32767 ? int(c) - 65536 : int(c));
                Put('?');
            }
        }
    }

    void WriteCharFormat(const QTextCharFormat& f)
    {
        QStringList families = f.fontFamilies().toStringList();
        const QString family = families.isEmpty() ? DefaultFamily : families.first();
        Word("f", FontIndex(family));
        double pt = f.fontPointSize();
        if (pt <= 0)
            pt = Doc.defaultFont().pointSizeF() > 0 ? Doc.defaultFont().pointSizeF() : 12.0;
        Word("fs", int(pt * 2 + 0.5));
        if (f.fontWeight() >= QFont::DemiBold)
            Put("\\b");
        if (f.fontItalic())
            Put("\\i");
        switch (f.underlineStyle()) {
        case QTextCharFormat::NoUnderline: break;
        case QTextCharFormat::DotLine: Put("\\uld"); break;
        case QTextCharFormat::DashUnderline:
        case QTextCharFormat::DashDotLine:
        case QTextCharFormat::DashDotDotLine: Put("\\uldash"); break;
        case QTextCharFormat::WaveUnderline:
        case QTextCharFormat::SpellCheckUnderline: Put("\\ulwave"); break;
        default: Put("\\ul"); break;
        }
        if (f.fontStrikeOut())
            Put("\\strike");
        if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            Put("\\super");
        else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
            Put("\\sub");
        if (f.fontCapitalization() == QFont::AllUppercase)
            Put("\\caps");
        else if (f.fontCapitalization() == QFont::SmallCaps)
            Put("\\scaps");
        if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
            Word("cf", ColorIndex(f.foreground().color().rgb()));
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
            Word("chcbpat", ColorIndex(f.background().color().rgb()));
        Put(' ');
    }

    void WriteBlockFormat(const QTextBlock& block, bool inTable)
    {
        const QTextBlockFormat b = block.blockFormat();
        Put("\\pard\\plain");
        if (inTable)
            Put("\\intbl");
        const Qt::Alignment a = b.alignment() & Qt::AlignHorizontal_Mask;
        if (a & Qt::AlignHCenter)
            Put("\\qc");
        else if (a & Qt::AlignJustify)
            Put("\\qj");
        else if ((a & Qt::AlignRight) && !(a & Qt::AlignAbsolute && false))
            Put("\\qr");
        else
            Put("\\ql");
        if (b.leftMargin() != 0)
            Word("li", PxToTwips(b.leftMargin()));
        if (b.rightMargin() != 0)
            Word("ri", PxToTwips(b.rightMargin()));
        if (b.textIndent() != 0)
            Word("fi", PxToTwips(b.textIndent()));
        if (SpaceBefore(b) != 0)
            Word("sb", PxToTwips(SpaceBefore(b)));
        if (b.bottomMargin() != 0)
            Word("sa", PxToTwips(b.bottomMargin()));
        switch (b.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            Word("sl", int(b.lineHeight() * 240 / 100 + 0.5));
            Put("\\slmult1");
            break;
        case QTextBlockFormat::MinimumHeight:
            Word("sl", PxToTwips(b.lineHeight()));
            Put("\\slmult0");
            break;
        case QTextBlockFormat::FixedHeight:
            Word("sl", -PxToTwips(b.lineHeight()));
            Put("\\slmult0");
            break;
        default:
            break;
        }
        if (KeepsTogether(block))
            Put("\\keep");
        if (KeepsWithNext(block))
            Put("\\keepn");
        if (BreaksBefore(block) || BreakBeforeNext)
            Put("\\pagebb");
        BreakBeforeNext = false;
        const QList<QTextOption::Tab> tabs = b.tabPositions();
        const double lineStart = b.leftMargin() + b.textIndent();  // tab stops are written from the margin
        const QList<int> leaders = b.property(kTabLeadersProperty).value<QList<int>>();
        for (qsizetype i = 0; i < tabs.size(); ++i) {
            const int leader = i < leaders.size() ? leaders[i] : 0;
            static const char* const kLeaders[] = {"", "\\tldot", "\\tlhyph", "\\tlul", "\\tlth", "\\tleq"};
            if (leader > 0 && leader < 6)
                Put(kLeaders[leader]);
            switch (tabs[i].type) {
            case QTextOption::RightTab: Put("\\tqr"); break;
            case QTextOption::CenterTab: Put("\\tqc"); break;
            case QTextOption::DelimiterTab: Put("\\tqdec"); break;
            default: break;
            }
            Word("tx", PxToTwips(tabs[i].position + lineStart));
        }
        Put(' ');
    }

    void WriteImage(const QTextImageFormat& f)
    {
        const QString name = f.name();
        const QUrl url(name);
        QByteArray data = Source->resource(kPictDataResource, PictDataUrl(name)).toByteArray();
        int kind = f.property(kPictKindProperty).toInt();
        if (data.isEmpty() || kind == PictNone) {
            kind = PictPng;
            const QVariant v = Source->resource(QTextDocument::ImageResource, url);
            QImage image;
            if (v.canConvert<QImage>())
                image = v.value<QImage>();
            if (image.isNull() && v.canConvert<QPixmap>())
                image = v.value<QPixmap>().toImage();
            if (image.isNull())
                image.load(name);
            if (image.isNull())
                return;
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        }
        Put("{\\pict");
        int picw = f.property(kPictWProperty).toInt();
        int pich = f.property(kPictHProperty).toInt();
        switch (kind) {
        case PictJpeg: Put("\\jpegblip"); break;
        case PictDib: Put("\\dibitmap0"); break;
        case PictWmf: Word("wmetafile", f.property(kPictMapModeProperty).toInt() > 0 ? f.property(kPictMapModeProperty).toInt() : 8); break;
        case PictEmf: Put("\\emfblip"); break;
        case PictOther: Put("\\wbitmap0"); break;
        default: Put("\\pngblip"); break;
        }
        if (picw <= 0 || pich <= 0) {
            picw = int(f.width());
            pich = int(f.height());
        }
        Word("picw", picw);
        Word("pich", pich);
        Word("picwgoal", PxToTwips(f.width()));
        Word("pichgoal", PxToTwips(f.height()));
        Put('\n');
        static const char hex[] = "0123456789abcdef";
        const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
        const std::size_t start = Out->size();
        Out->resize(start + std::size_t(data.size()) * 2 + std::size_t(data.size()) / 64 + 1);
        char* o = Out->data() + start;
        for (qsizetype i = 0; i < data.size(); ++i) {
            *o++ = hex[p[i] >> 4];
            *o++ = hex[p[i] & 15];
            if ((i & 63) == 63)
                *o++ = '\n';
        }
        Out->resize(std::size_t(o - Out->data()));
        Put('}');
    }

    void WriteRuns(const QTextBlock& block)
    {
        QString openHref;
        int openKind = FieldNone;
        int openId = 0;
        auto closeField = [&] {
            if (openKind != FieldNone)
                Put("}}");
            openKind = FieldNone;
            openHref.clear();
            openId = 0;
        };
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid())
                continue;
            const QTextCharFormat f = frag.charFormat();
            int kind = f.property(kFieldKindProperty).toInt();
            const QString href = f.isAnchor() ? f.anchorHref() : QString();
            if (kind == FieldNone && !href.isEmpty())
                kind = FieldLink;
            const int id = f.property(kFieldIdProperty).toInt();
            if (kind != openKind || href != openHref || (kind != FieldNone && id != openId)) {
                closeField();
                if (kind == FieldLink) {
                    Put("{\\field{\\*\\fldinst HYPERLINK \"");
                    PutFieldArg(href);
                    Put("\"}{\\fldrslt ");
                } else if (kind == FieldPage) {
                    Put("{\\field{\\*\\fldinst PAGE}{\\fldrslt ");
                } else if (kind == FieldNumPages) {
                    Put("{\\field{\\*\\fldinst NUMPAGES}{\\fldrslt ");
                } else if (kind == FieldText) {
                    Put("{\\field{\\*\\fldinst QUOTE}{\\fldrslt ");
                }
                openKind = kind;
                openHref = href;
                openId = id;
            }
            const QString text = frag.text();
            if (f.isImageFormat()) {
                for (qsizetype i = 0; i < text.size(); ++i)
                    WriteImage(f.toImageFormat());
                continue;
            }
            Put('{');
            WriteCharFormat(f);
            PutText(text, true);
            Put('}');
        }
        closeField();
    }

    void PutFieldArg(const QString& s)
    {
        // Backslashes are doubled in field arguments (Word reads a single one as a switch).
        QString doubled = s;
        doubled.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        doubled.replace(QLatin1Char('"'), QLatin1String("%22"));
        PutText(doubled, false);
    }

    void WriteListMarker(const QTextBlock& block)
    {
        if (QTextList* list = block.textList()) {
            const QString marker = list->itemText(block);
            Put("{\\listtext ");
            PutText(marker.isEmpty() ? QString(QChar(0x2022)) : marker, false);
            Put("\\tab}");
        }
    }

    // Answers false when the block became a page break in front of the next one, so that no
    // paragraph of its own is written.
    bool WriteBlock(const QTextBlock& block, bool inTable, bool last)
    {
        const QString text = block.text();
        if (!inTable && !last && !text.isEmpty() && text.count(QLatin1Char('\f')) == text.size()) {
            // A paragraph holding only page breaks becomes a break in front of the next one; an
            // empty paragraph of its own would push the next page's text down a line, or onto a
            // page of its own.
            BreakBeforeNext = true;
            return false;
        }
        WriteBlockFormat(block, inTable);
        WriteListMarker(block);
        if (text.isEmpty()) {
            // An empty paragraph keeps its height through its mark's font size.
            Put('{');
            WriteCharFormat(block.charFormat());
            Put('}');
        }
        WriteRuns(block);
        return true;
    }

    void WriteFrame(QTextFrame* frame, bool root)
    {
        std::vector<QTextFrame::iterator> items;
        QTextFrame::iterator it = frame->begin();
        while (!it.atEnd()) {
            QTextFrame::iterator next = it;
            ++next;
            if (QTextFrame* child = it.currentFrame()) {
                if (auto* table = qobject_cast<QTextTable*>(child))
                    WriteTable(table);
                else
                    WriteFrame(child, false);
            } else {
                const QTextBlock block = it.currentBlock();
                const bool last = root && next.atEnd();
                if (WriteBlock(block, false, last) && !last)
                    Put("\\par\n");
            }
            it = next;
        }
    }

    void WriteBorder(const char* side, double width, QTextFrameFormat::BorderStyle style, const QBrush& brush)
    {
        if (width <= 0 || style == QTextFrameFormat::BorderStyle_None)
            return;
        Put(side);
        switch (style) {
        case QTextFrameFormat::BorderStyle_Double: Put("\\brdrdb"); break;
        case QTextFrameFormat::BorderStyle_Dotted: Put("\\brdrdot"); break;
        case QTextFrameFormat::BorderStyle_Dashed:
        case QTextFrameFormat::BorderStyle_DotDash:
        case QTextFrameFormat::BorderStyle_DotDotDash: Put("\\brdrdash"); break;
        default: Put("\\brdrs"); break;
        }
        Word("brdrw", std::clamp(PxToTwips(width), 1, 255));
        if (brush.style() != Qt::NoBrush)
            Word("brdrcf", ColorIndex(brush.color().rgb()));
    }

    void WriteCellContent(QTextFrame* frame, bool& firstPara)
    {
        for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame* child = it.currentFrame()) {
                // Tables inside cells are written as their cells' paragraphs.
                if (auto* inner = qobject_cast<QTextTable*>(child)) {
                    for (int r = 0; r < inner->rows(); ++r)
                        for (int c = 0; c < inner->columns(); ++c) {
                            QTextTableCell cell = inner->cellAt(r, c);
                            if (cell.row() != r || cell.column() != c)
                                continue;
                            for (QTextFrame::iterator ci = cell.begin(); !ci.atEnd(); ++ci)
                                if (!ci.currentFrame()) {
                                    if (!firstPara)
                                        Put("\\par\n");
                                    firstPara = false;
                                    WriteBlock(ci.currentBlock(), true, false);
                                }
                        }
                } else {
                    WriteCellContent(child, firstPara);
                }
                continue;
            }
            if (!firstPara)
                Put("\\par\n");
            firstPara = false;
            WriteBlock(it.currentBlock(), true, false);
        }
    }

    void WriteTable(QTextTable* table)
    {
        const QTextTableFormat tf = table->format();
        const int rows = table->rows();
        const int cols = table->columns();
        const QList<QTextLength> constraints = tf.columnWidthConstraints();
        std::vector<int> edges(std::size_t(cols) + 1, 0);
        const int left = PxToTwips(tf.leftMargin());
        edges[0] = left;
        for (int c = 0; c < cols; ++c) {
            int w = TextWidthTwips / std::max(cols, 1);
            if (c < constraints.size()) {
                const QTextLength& l = constraints[c];
                if (l.type() == QTextLength::FixedLength)
                    w = PxToTwips(l.rawValue());
                else if (l.type() == QTextLength::PercentageLength)
                    w = int(TextWidthTwips * l.rawValue() / 100.0);
            }
            edges[std::size_t(c) + 1] = edges[std::size_t(c)] + std::max(w, 30);
        }
        const int gap = PxToTwips(tf.cellPadding());
        for (int r = 0; r < rows; ++r) {
            Put("\\trowd");
            Word("trgaph", gap);
            if (left)
                Word("trleft", left);
            if (tf.alignment() & Qt::AlignHCenter)
                Put("\\trqc");
            else if (tf.alignment() & Qt::AlignRight)
                Put("\\trqr");
            std::vector<QTextTableCell> cells;
            for (int c = 0; c < cols;) {
                QTextTableCell cell = table->cellAt(r, c);
                if (!cell.isValid()) {
                    ++c;
                    continue;
                }
                const int span = std::max(1, cell.column() + cell.columnSpan() - c);
                const QTextTableCellFormat cf = cell.format().toTableCellFormat();
                if (cell.rowSpan() > 1)
                    Put(cell.row() == r ? "\\clvmgf" : "\\clvmrg");
                const double tableBorder = tf.border();
                auto side = [&](double w, bool has) { return has ? w : tableBorder; };
                WriteBorder("\\clbrdrt", side(cf.topBorder(), cf.hasProperty(QTextFormat::TableCellTopBorder)),
                            cf.hasProperty(QTextFormat::TableCellTopBorderStyle) ? cf.topBorderStyle() : tf.borderStyle(),
                            cf.hasProperty(QTextFormat::TableCellTopBorderBrush) ? cf.topBorderBrush() : tf.borderBrush());
                WriteBorder("\\clbrdrl", side(cf.leftBorder(), cf.hasProperty(QTextFormat::TableCellLeftBorder)),
                            cf.hasProperty(QTextFormat::TableCellLeftBorderStyle) ? cf.leftBorderStyle() : tf.borderStyle(),
                            cf.hasProperty(QTextFormat::TableCellLeftBorderBrush) ? cf.leftBorderBrush() : tf.borderBrush());
                WriteBorder("\\clbrdrb", side(cf.bottomBorder(), cf.hasProperty(QTextFormat::TableCellBottomBorder)),
                            cf.hasProperty(QTextFormat::TableCellBottomBorderStyle) ? cf.bottomBorderStyle() : tf.borderStyle(),
                            cf.hasProperty(QTextFormat::TableCellBottomBorderBrush) ? cf.bottomBorderBrush() : tf.borderBrush());
                WriteBorder("\\clbrdrr", side(cf.rightBorder(), cf.hasProperty(QTextFormat::TableCellRightBorder)),
                            cf.hasProperty(QTextFormat::TableCellRightBorderStyle) ? cf.rightBorderStyle() : tf.borderStyle(),
                            cf.hasProperty(QTextFormat::TableCellRightBorderBrush) ? cf.rightBorderBrush() : tf.borderBrush());
                if (cf.background().style() != Qt::NoBrush)
                    Word("clcbpat", ColorIndex(cf.background().color().rgb()));
                if (cf.verticalAlignment() == QTextCharFormat::AlignMiddle)
                    Put("\\clvertalc");
                else if (cf.verticalAlignment() == QTextCharFormat::AlignBottom)
                    Put("\\clvertalb");
                Word("cellx", edges[std::size_t(std::min(c + span, cols))]);
                cells.push_back(cell);
                c += span;
            }
            Put('\n');
            for (const QTextTableCell& cell : cells) {
                if (cell.row() != r) {
                    Put("\\pard\\plain\\intbl\\cell\n");
                    continue;
                }
                bool first = true;
                for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
                    if (QTextFrame* child = it.currentFrame()) {
                        if (auto* inner = qobject_cast<QTextTable*>(child)) {
                            bool f2 = first;
                            // Reuse the flattening used for frames inside cells.
                            for (int ir = 0; ir < inner->rows(); ++ir)
                                for (int ic = 0; ic < inner->columns(); ++ic) {
                                    QTextTableCell ic2 = inner->cellAt(ir, ic);
                                    if (ic2.row() != ir || ic2.column() != ic)
                                        continue;
                                    for (QTextFrame::iterator ci = ic2.begin(); !ci.atEnd(); ++ci)
                                        if (!ci.currentFrame()) {
                                            if (!f2)
                                                Put("\\par\n");
                                            f2 = false;
                                            WriteBlock(ci.currentBlock(), true, false);
                                        }
                                }
                            first = f2;
                        } else {
                            WriteCellContent(child, first);
                        }
                        continue;
                    }
                    if (!first)
                        Put("\\par\n");
                    first = false;
                    WriteBlock(it.currentBlock(), true, false);
                }
                Put("\\cell\n");
            }
            Put("\\row\n");
        }
    }
};

}  // namespace

std::string WriteRtf(const QTextDocument& document, const TRtfWriteOptions& options)
{
    return TWriter(document, options).Write();
}
