#include "RtfReader.h"

#include "AnsiString.h"
#include "Pictures.h"
#include "RtfFormat.h"

#include <QAtomicInt>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

using namespace rtf;

enum class Dest : std::uint8_t { Body, Skip, FontTable, ColorTable, StyleSheet, FieldInst, Pict };
enum class GroupEnd : std::uint8_t { None, Pict, Field, FontTable, StyleEntry, Footer, ColorTable };

struct CharProps {
    std::int32_t font = -1;  // -1: the document's default font
    std::int32_t halfPoints = 24;
    std::int32_t fg = -1, bg = -1;
    std::int32_t link = -1;  // index into the reader's link targets
    std::int32_t fieldId = 0;
    std::uint8_t bold = 0, italic = 0, underline = 0, strike = 0, vert = 0, caps = 0, hidden = 0, fieldKind = 0;
    bool operator==(const CharProps&) const = default;
    void Plain()
    {
        // \plain resets formatting, not the field the text belongs to.
        const auto keepLink = link;
        const auto keepId = fieldId;
        const auto keepKind = fieldKind;
        *this = CharProps{};
        link = keepLink;
        fieldId = keepId;
        fieldKind = keepKind;
    }
};

struct CharPropsHash {
    std::size_t operator()(const CharProps& p) const noexcept
    {
        std::size_t h = std::size_t(p.font) * 1000003u ^ std::size_t(p.halfPoints) * 31u;
        h ^= std::size_t(p.fg + 7) * 131u ^ std::size_t(p.bg + 11) * 8191u ^ std::size_t(p.link + 3) * 524287u;
        h ^= std::size_t(p.fieldId) * 17u;
        h ^= std::size_t(p.bold | p.italic << 1 | p.strike << 2 | p.hidden << 3) << 20;
        h ^= std::size_t(p.underline | p.vert << 4 | p.caps << 6 | p.fieldKind << 8) << 24;
        return h;
    }
};

struct TabStop {
    std::int32_t Pos = 0;
    std::uint8_t Kind = 0;    // 0 left, 1 centre, 2 right, 3 decimal
    std::uint8_t Leader = 0;  // TTabLeader
    bool operator==(const TabStop&) const = default;
};

struct ParaProps {
    std::int32_t li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0;
    std::int32_t itap = 0;
    std::int32_t style = 0;
    std::uint8_t align = 0;  // 0 left, 1 centre, 2 right, 3 justify
    bool slmult = false, keep = false, keepn = false, pagebb = false, intbl = false;
    std::uint8_t pendingTabKind = 0, pendingTabLeader = 0;
    std::int32_t ntabs = 0;
    TabStop tabs[kMaxTabStops];
    bool operator==(const ParaProps&) const = default;
};

struct State {
    Dest dest = Dest::Body;
    Dest resume = Dest::Body;  // what \ud returns to inside \upr
    GroupEnd end = GroupEnd::None;
    bool star = false;
    bool fresh = false;  // nothing read yet in this group
    std::int32_t uc = 1;
    std::int32_t field = -1;
    CharProps chr;
    ParaProps para;
};

struct FontInfo {
    QString Name;
    int Charset = 0;
    int Codepage = 0;
};

struct Style {
    CharProps Chr;
    ParaProps Para;
};

struct Field {
    std::string Inst;
    int Kind = FieldNone;
    QString Href;
    int Id = 0;
};

struct TextRun {
    int Start = 0, Length = 0;
    int Format = -1;  // index into the format cache
    int Image = -1;   // index into images when this run is a picture
};

struct Para {
    QString Text;
    std::vector<TextRun> Runs;
    QTextBlockFormat Block;
    int MarkFormat = -1;
};

struct Border {
    std::int16_t Width = 0;  // twips
    std::uint8_t Style = 0;  // 0 none, 1 solid, 2 double, 3 dotted, 4 dashed
    std::int32_t Color = -1;
    bool operator==(const Border&) const = default;
};

struct CellDef {
    std::int32_t Right = 0;
    Border Borders[4];  // top, left, bottom, right
    std::int32_t Shading = -1;
    std::uint8_t VAlign = 0;
    bool HFirst = false, HMerge = false, VFirst = false, VMerge = false;
};

struct RowDef {
    std::vector<CellDef> Cells;
    Border Borders[4];
    std::int32_t Gap = 108, Left = 0, Height = 0;
    std::uint8_t Align = 0;
};

struct Cell {
    std::vector<Para> Paras;
};

struct Row {
    RowDef Def;
    std::vector<Cell> Cells;
};

// Bytes as hex digit values, -1 for anything else.
struct HexTable {
    signed char v[256];
    constexpr HexTable() : v{}
    {
        for (int i = 0; i < 256; ++i)
            v[i] = -1;
        for (int i = 0; i < 10; ++i)
            v['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) {
            v['a' + i] = static_cast<signed char>(10 + i);
            v['A' + i] = static_cast<signed char>(10 + i);
        }
    }
};
constexpr HexTable kHex;

QAtomicInt gPictureCounter;
QAtomicInt gFieldCounter(1000);

const char* CodecNameFor(int cp)
{
    switch (cp) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 866: return "IBM866";
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 1361: return "Johab";
    case 10000: return "macintosh";
    case 10001: return "Shift_JIS";  // Mac Japanese is Shift-JIS for the text that matters
    case 10002: return "Big5";
    case 10003: return "windows-949";
    case 10008: return "GBK";
    case 20932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    case 51932: return "EUC-JP";
    case 54936: return "GB18030";
    case 65001: return "UTF-8";
    default: return nullptr;
    }
}

int CodepageForCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;  // ANSI_CHARSET is Western, whatever the document's code page
    case 77: return 10000;
    case 78: return 10001;
    case 79: return 10003;
    case 80: return 10008;
    case 81: return 10002;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;  // default and symbol follow the document's code page
    }
}

class TReader {
public:
    TReader(QTextCursor& cursor, const TRtfReadOptions& options) : Cursor(cursor), Options(options)
    {
        States.reserve(64);
        States.emplace_back();
        InsertStart = cursor.block().position();
    }

    TRtfReadReport Run(std::string_view text)
    {
        Data = text.data();
        Size = text.size();
        std::size_t lead = 0;
        while (lead < Size && (Data[lead] == ' ' || Data[lead] == '\r' || Data[lead] == '\n' || Data[lead] == '\t'))
            ++lead;
        Report.StartsAsRtf = Size - lead >= 5 && std::memcmp(Data + lead, "{\\rtf", 5) == 0;
        Parse();
        Finish();
        if (FooterEnd > FooterStart && Options.FooterTarget)
            ReadFooter();
        return Report;
    }

    void PrimeFrom(const TReader& other)
    {
        Fonts = other.Fonts;
        Colors = other.Colors;
        AnsiCp = other.AnsiCp;
        DefaultFont = other.DefaultFont;
    }

    void ParseBody(std::string_view text)
    {
        Data = text.data();
        Size = text.size();
        Parse();
        Finish();
    }

private:
    QTextCursor& Cursor;
    const TRtfReadOptions& Options;
    int InsertStart = 0;  // start of the paragraph the insertion began in
    const char* Data = nullptr;
    std::size_t Size = 0;
    std::size_t Pos = 0;
    std::vector<State> States;
    int Overflow = 0;       // groups beyond kMaxGroupDepth, read as skipped
    bool OuterClosed = false;
    int UcSkip = 0;
    TRtfReadReport Report;

    int AnsiCp = 1252;
    int DefaultFont = 0;
    std::unordered_map<int, FontInfo> Fonts;
    int FontNumber = -1;
    FontInfo FontPending;
    bool FontOpen = false;
    std::vector<QColor> Colors;
    int Red = -1, Green = -1, Blue = -1;
    std::unordered_map<int, Style> Styles;
    QString StyleName;
    std::vector<Field> Fields;
    std::vector<QString> Links;

    std::unordered_map<CharProps, int, CharPropsHash> FormatIndex;
    std::vector<QTextCharFormat> Formats;
    std::vector<QTextImageFormat> Images;
    ParaProps LastParaProps;
    QTextBlockFormat LastBlock;
    bool HaveLastBlock = false;

    std::string Pending;  // bytes waiting for decoding in a code page other than 1252
    int PendingCp = 0;
    std::unordered_map<int, std::unique_ptr<QStringDecoder>> Decoders;

    Para Cur;
    bool PageBreakPending = false;

    std::vector<Row> Rows;
    Row CurRow;
    Cell CurCell;
    bool CellOpen = false;
    RowDef CurRowDef;
    CellDef PendingCell;
    int BorderTarget = -1;  // 0..3 cell sides, 4..7 row sides, 8 paragraph (ignored)

    TPicture Pict;
    bool PictActive = false;
    int PictNibble = -1;

    std::size_t FooterStart = 0, FooterEnd = 0;
    bool FooterTaken = false;

    State& St() { return States.back(); }

    void Parse()
    {
        while (Pos < Size) {
            const char ch = Data[Pos];
            if (ch == '{') {
                FlushBytes();
                UcSkip = 0;
                ++Pos;
                OpenGroup();
            } else if (ch == '}') {
                FlushBytes();
                UcSkip = 0;
                const std::size_t at = Pos;
                ++Pos;
                CloseGroup(at);
                if (OuterClosed)
                    break;
            } else if (ch == '\\') {
                ControlWord();
            } else if (ch == '\r' || ch == '\n') {
                ++Pos;
            } else {
                std::size_t end = Pos + 1;
                while (end < Size) {
                    const char c = Data[end];
                    if (c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n')
                        break;
                    ++end;
                }
                TextBytes(Pos, end);
                Pos = end;
            }
        }
        FlushBytes();
        if (OuterClosed) {
            std::size_t rest = Pos;
            while (rest < Size && (Data[rest] == ' ' || Data[rest] == '\r' || Data[rest] == '\n' || Data[rest] == '\0' ||
                                   Data[rest] == '\t'))
                ++rest;
            Report.Balanced = rest == Size;
        }
    }

    void OpenGroup()
    {
        if (Overflow > 0 || States.size() > std::size_t(kMaxGroupDepth)) {
            ++Overflow;
            return;
        }
        States.push_back(States.back());
        State& s = States.back();
        s.end = GroupEnd::None;
        s.star = false;
        s.fresh = true;
        if (s.dest == Dest::StyleSheet) {
            // Each style entry starts from plain formatting.
            s.chr = CharProps{};
            s.para = ParaProps{};
            s.end = GroupEnd::StyleEntry;
            StyleName.clear();
        }
        if (s.dest == Dest::Pict)
            s.dest = Dest::Skip;
    }

    void CloseGroup(std::size_t at)
    {
        if (Overflow > 0) {
            --Overflow;
            return;
        }
        if (States.size() <= 1) {
            // An unmatched closing brace: RTF ends with its outer group; a fragment without
            // one reads on.
            OuterClosed = Report.StartsAsRtf;
            return;
        }
        State closing = std::move(States.back());
        States.pop_back();
        switch (closing.end) {
        case GroupEnd::Pict:
            EndPicture();
            break;
        case GroupEnd::FontTable:
            CommitFont();
            break;
        case GroupEnd::StyleEntry:
            if (closing.para.style >= 0 && Styles.size() < 10000)
                Styles[closing.para.style] = Style{closing.chr, closing.para};
            break;
        case GroupEnd::Footer:
            if (!FooterTaken) {
                FooterEnd = at;
                FooterTaken = true;
            }
            break;
        case GroupEnd::Field:
        case GroupEnd::ColorTable:
        case GroupEnd::None:
            break;
        }
        if (States.size() == 1 && Report.StartsAsRtf)
            OuterClosed = true;
    }

    // --- Text ---

    int CodepageOfFont(int font) const
    {
        auto it = Fonts.find(font < 0 ? DefaultFont : font);
        if (it != Fonts.end() && it->second.Codepage != 0)
            return it->second.Codepage;
        return AnsiCp;
    }

    void TextBytes(std::size_t begin, std::size_t end)
    {
        if (Overflow > 0)
            return;
        St().fresh = false;
        if (UcSkip > 0) {
            const std::size_t skip = std::min<std::size_t>(std::size_t(UcSkip), end - begin);
            UcSkip -= int(skip);
            begin += skip;
            if (begin == end)
                return;
        }
        State& s = St();
        switch (s.dest) {
        case Dest::Body:
        case Dest::FontTable:
        case Dest::StyleSheet:
        case Dest::FieldInst:
            break;
        case Dest::ColorTable:
            for (std::size_t i = begin; i < end; ++i)
                if (Data[i] == ';')
                    CommitColor();
            return;
        case Dest::Pict:
            HexData(begin, end);
            return;
        case Dest::Skip:
            return;
        }
        const int cp = s.dest == Dest::Body ? CodepageOfFont(s.chr.font) : AnsiCp;
        if (cp == 1252 || cp == 0 || cp == 20127) {
            FlushBytes();
            QString chunk(qsizetype(end - begin), Qt::Uninitialized);
            QChar* out = chunk.data();
            for (std::size_t i = begin; i < end; ++i) {
                const auto b = static_cast<unsigned char>(Data[i]);
                if (b < 0x20) {
                    if (b == '\t')
                        *out++ = QLatin1Char('\t');
                    continue;
                }
                *out++ = QChar(AnsiUnitFor(b));
            }
            chunk.truncate(out - chunk.data());
            AppendText(chunk);
        } else {
            if (!Pending.empty() && PendingCp != cp)
                FlushBytes();
            PendingCp = cp;
            Pending.append(Data + begin, end - begin);
        }
    }

    void AppendByte(unsigned char b)
    {
        State& s = St();
        if (s.dest == Dest::Pict || s.dest == Dest::Skip || s.dest == Dest::ColorTable)
            return;
        const int cp = s.dest == Dest::Body ? CodepageOfFont(s.chr.font) : AnsiCp;
        if (cp == 1252 || cp == 0 || cp == 20127) {
            FlushBytes();
            AppendText(QString(QChar(AnsiUnitFor(b))));
            return;
        }
        if (!Pending.empty() && PendingCp != cp)
            FlushBytes();
        PendingCp = cp;
        Pending.push_back(static_cast<char>(b));
    }

    void FlushBytes()
    {
        if (Pending.empty())
            return;
        std::string bytes;
        bytes.swap(Pending);
        QString text;
        if (const char* name = CodecNameFor(PendingCp)) {
            auto& decoder = Decoders[PendingCp];
            if (!decoder)
                decoder = std::make_unique<QStringDecoder>(name, QStringConverter::Flag::Stateless);
            if (decoder->isValid())
                text = decoder->decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        }
        if (text.isNull())
            text = AnsiToQt(bytes);
        QString clean;
        clean.reserve(text.size());
        for (QChar c : text)
            if (c.unicode() >= 0x20 || c == QLatin1Char('\t'))
                clean.append(c);
        AppendText(clean);
    }

    void AppendText(const QString& text)
    {
        if (text.isEmpty())
            return;
        State& s = St();
        switch (s.dest) {
        case Dest::Body:
            if (!s.chr.hidden)
                AppendBody(text, s.chr);
            break;
        case Dest::FontTable: {
            const qsizetype semi = text.indexOf(QLatin1Char(';'));
            if (semi < 0) {
                FontPending.Name += text;
            } else {
                FontPending.Name += text.left(semi);
                CommitFont();
            }
            break;
        }
        case Dest::StyleSheet:
            StyleName += text;
            break;
        case Dest::FieldInst:
            if (s.field >= 0 && Fields[std::size_t(s.field)].Inst.size() < 65536)
                Fields[std::size_t(s.field)].Inst += QtToAnsi(text);
            break;
        default:
            break;
        }
    }

    int FormatFor(const CharProps& props)
    {
        auto it = FormatIndex.find(props);
        if (it != FormatIndex.end())
            return it->second;
        QTextCharFormat f;
        auto font = Fonts.find(props.font < 0 ? DefaultFont : props.font);
        if (font != Fonts.end() && !font->second.Name.isEmpty())
            f.setFontFamilies(QStringList{font->second.Name});
        f.setFontPointSize(std::clamp(props.halfPoints, 2, 3276) / 2.0);
        if (props.bold)
            f.setFontWeight(QFont::Bold);
        if (props.italic)
            f.setFontItalic(true);
        switch (props.underline) {
        case 0: break;
        case 2: f.setUnderlineStyle(QTextCharFormat::DotLine); break;
        case 3: f.setUnderlineStyle(QTextCharFormat::DashUnderline); break;
        case 4: f.setUnderlineStyle(QTextCharFormat::WaveUnderline); break;
        default: f.setUnderlineStyle(QTextCharFormat::SingleUnderline); break;
        }
        if (props.strike)
            f.setFontStrikeOut(true);
        if (props.vert == 1)
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (props.vert == 2)
            f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        if (props.caps == 1)
            f.setFontCapitalization(QFont::AllUppercase);
        else if (props.caps == 2)
            f.setFontCapitalization(QFont::SmallCaps);
        if (props.fg >= 0 && std::size_t(props.fg) < Colors.size() && Colors[std::size_t(props.fg)].isValid())
            f.setForeground(Colors[std::size_t(props.fg)]);
        if (props.bg >= 0 && std::size_t(props.bg) < Colors.size() && Colors[std::size_t(props.bg)].isValid())
            f.setBackground(Colors[std::size_t(props.bg)]);
        if (props.link >= 0) {
            f.setAnchor(true);
            f.setAnchorHref(Links[std::size_t(props.link)]);
        }
        if (props.fieldKind != FieldNone) {
            f.setProperty(kFieldKindProperty, int(props.fieldKind));
            f.setProperty(kFieldIdProperty, props.fieldId);
        }
        const int index = int(Formats.size());
        Formats.push_back(f);
        FormatIndex.emplace(props, index);
        return index;
    }

    void AppendBody(const QString& text, const CharProps& props)
    {
        const int format = FormatFor(props);
        if (!Cur.Runs.empty() && Cur.Runs.back().Format == format && Cur.Runs.back().Image < 0) {
            Cur.Runs.back().Length += int(text.size());
        } else {
            Cur.Runs.push_back(TextRun{int(Cur.Text.size()), int(text.size()), format, -1});
        }
        Cur.Text += text;
    }

    void AppendChar(char16_t c)
    {
        FlushBytes();
        if (UcSkip > 0) {
            --UcSkip;
            return;
        }
        AppendText(QString(QChar(c)));
    }

    void HexData(std::size_t begin, std::size_t end)
    {
        for (std::size_t i = begin; i < end; ++i) {
            const int v = kHex.v[static_cast<unsigned char>(Data[i])];
            if (v < 0)
                continue;
            if (PictNibble < 0) {
                PictNibble = v;
            } else {
                if (Pict.Data.size() < kMaxPictureBytes)
                    Pict.Data.append(char(PictNibble << 4 | v));
                else
                    Pict.Truncated = true;
                PictNibble = -1;
            }
        }
    }

    // --- Paragraphs and tables ---

    QTextBlockFormat BlockFormatFor(const ParaProps& p)
    {
        if (HaveLastBlock && p == LastParaProps)
            return LastBlock;
        QTextBlockFormat b;
        switch (p.align) {
        case 1: b.setAlignment(Qt::AlignHCenter); break;
        case 2: b.setAlignment(Qt::AlignRight); break;
        case 3: b.setAlignment(Qt::AlignJustify); break;
        default: b.setAlignment(Qt::AlignLeft); break;
        }
        if (p.li)
            b.setLeftMargin(TwipsToPx(p.li));
        if (p.ri)
            b.setRightMargin(TwipsToPx(p.ri));
        if (p.fi)
            b.setTextIndent(TwipsToPx(p.fi));
        if (p.sb)
            b.setTopMargin(TwipsToPx(p.sb));
        if (p.sa)
            b.setBottomMargin(TwipsToPx(p.sa));
        if (p.sl != 0) {
            if (p.slmult && p.sl > 0)
                b.setLineHeight(std::clamp(p.sl * 100.0 / 240.0, 10.0, 1000.0), QTextBlockFormat::ProportionalHeight);
            else if (p.sl > 0)
                b.setLineHeight(TwipsToPx(p.sl), QTextBlockFormat::MinimumHeight);
            else
                b.setLineHeight(TwipsToPx(-double(p.sl)), QTextBlockFormat::FixedHeight);
        }
        if (p.keep)
            b.setNonBreakableLines(true);
        if (p.keepn)
            b.setProperty(kKeepNextProperty, true);
        if (p.pagebb)
            b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        if (p.ntabs > 0) {
            // RTF measures tab stops from the page margin, Qt from where the line starts; the
            // first line starts at the left indent plus the first-line indent.
            const double lineStart = double(p.li) + double(p.fi);
            QList<QTextOption::Tab> tabs;
            QList<int> leaders;
            bool anyLeader = false;
            for (int i = 0; i < p.ntabs; ++i) {
                const TabStop& t = p.tabs[i];
                QTextOption::TabType type = QTextOption::LeftTab;
                QChar delimiter;
                if (t.Kind == 1)
                    type = QTextOption::CenterTab;
                else if (t.Kind == 2)
                    type = QTextOption::RightTab;
                else if (t.Kind == 3) {
                    type = QTextOption::DelimiterTab;
                    delimiter = QLatin1Char('.');
                }
                tabs.append(QTextOption::Tab(TwipsToPx(double(t.Pos) - lineStart), type, delimiter));
                leaders.append(t.Leader);
                anyLeader = anyLeader || t.Leader != 0;
            }
            b.setTabPositions(tabs);
            if (anyLeader)
                b.setProperty(kTabLeadersProperty, QVariant::fromValue(leaders));
        }
        LastParaProps = p;
        LastBlock = b;
        HaveLastBlock = true;
        return b;
    }

    // Ends the paragraph being collected; endsWithBreak is false only at the end of input.
    void EndParagraph(bool endsWithBreak)
    {
        FlushBytes();
        State& s = St();
        Cur.Block = BlockFormatFor(s.para);
        Cur.MarkFormat = FormatFor(s.chr);
        const bool inTable = s.para.intbl || s.para.itap > 0;
        if (inTable) {
            CurCell.Paras.push_back(std::move(Cur));
            CellOpen = true;
            Cur = Para{};
            return;
        }
        if (!Rows.empty() || CellOpen || !CurRow.Cells.empty())
            EmitTable();
        if (!endsWithBreak && Cur.Text.isEmpty())
            return;
        if (PageBreakPending) {
            Cur.Block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            PageBreakPending = false;
        }
        EmitParagraph(Cursor, Cur);
        Cur = Para{};
        if (endsWithBreak) {
            // The next paragraph starts from this one's format, but not from its page break.
            QTextBlockFormat next = Cursor.blockFormat();
            next.clearProperty(QTextFormat::PageBreakPolicy);
            Cursor.insertBlock(next);
        }
    }

    void EmitParagraph(QTextCursor& c, const Para& p)
    {
        if (c.block().length() == 1) {
            c.setBlockFormat(p.Block);
            if (p.Text.isEmpty() && p.MarkFormat >= 0) {
                c.setBlockCharFormat(Formats[std::size_t(p.MarkFormat)]);
                c.setCharFormat(Formats[std::size_t(p.MarkFormat)]);
            }
        }
        for (const TextRun& r : p.Runs) {
            if (r.Image >= 0)
                c.insertImage(Images[std::size_t(r.Image)]);
            else
                c.insertText(p.Text.mid(r.Start, r.Length), Formats[std::size_t(r.Format)]);
        }
    }

    void EndCell()
    {
        EndParagraphInCell();
        if (CurRow.Cells.size() < std::size_t(kMaxTableColumns)) {
            CurRow.Cells.push_back(std::move(CurCell));
        } else if (!CurRow.Cells.empty()) {
            auto& last = CurRow.Cells.back().Paras;
            for (auto& p : CurCell.Paras)
                last.push_back(std::move(p));
        }
        CurCell = Cell{};
        CellOpen = false;
    }

    void EndParagraphInCell()
    {
        FlushBytes();
        State& s = St();
        Cur.Block = BlockFormatFor(s.para);
        Cur.MarkFormat = FormatFor(s.chr);
        CurCell.Paras.push_back(std::move(Cur));
        CellOpen = true;
        Cur = Para{};
    }

    void EndRow()
    {
        if (CellOpen || !Cur.Text.isEmpty()) {
            if (!Cur.Text.isEmpty())
                EndParagraphInCell();
            EndCell();
        }
        if (CurRow.Cells.empty())
            return;
        CurRow.Def = CurRowDef;
        Rows.push_back(std::move(CurRow));
        CurRow = Row{};
    }

    static QTextFrameFormat::BorderStyle QtBorderStyle(std::uint8_t style)
    {
        switch (style) {
        case 2: return QTextFrameFormat::BorderStyle_Double;
        case 3: return QTextFrameFormat::BorderStyle_Dotted;
        case 4: return QTextFrameFormat::BorderStyle_Dashed;
        default: return QTextFrameFormat::BorderStyle_Solid;
        }
    }

    void EmitTable()
    {
        if (CellOpen || !CurRow.Cells.empty())
            EndRow();
        if (Rows.empty())
            return;
        std::vector<Row> rows;
        rows.swap(Rows);
        // Column boundaries are the union of every row's cell edges, so rows with merged or
        // differently placed cells still line up.
        std::vector<int> edges;
        for (Row& row : rows) {
            auto& defs = row.Def.Cells;
            int last = defs.empty() ? row.Def.Left : defs.back().Right;
            while (defs.size() < row.Cells.size()) {
                last += 1440;
                CellDef d;
                d.Right = last;
                defs.push_back(d);
            }
            int prev = row.Def.Left;
            for (auto& d : defs) {
                if (d.Right <= prev)
                    d.Right = prev + 30;
                prev = d.Right;
                edges.push_back(d.Right);
            }
        }
        int left = rows.front().Def.Left;
        std::sort(edges.begin(), edges.end());
        std::vector<int> cols;
        for (int e : edges)
            if ((cols.empty() ? e - left > 20 : e - cols.back() > 20) && cols.size() < std::size_t(kMaxTableColumns))
                cols.push_back(e);
        if (cols.empty())
            cols.push_back(left + 1440);
        auto columnOf = [&](int edge) {
            for (std::size_t i = 0; i < cols.size(); ++i)
                if (edge <= cols[i] + 20)
                    return int(i);
            return int(cols.size()) - 1;
        };
        QTextTableFormat tf;
        tf.setBorder(0);
        tf.setBorderCollapse(true);
        tf.setCellSpacing(0);
        tf.setCellPadding(TwipsToPx(std::clamp(rows.front().Def.Gap, 0, 1440)));
        tf.setMargin(0);
        if (left > 0)
            tf.setLeftMargin(TwipsToPx(std::min(left, 14400)));
        if (rows.front().Def.Align == 1)
            tf.setAlignment(Qt::AlignHCenter);
        else if (rows.front().Def.Align == 2)
            tf.setAlignment(Qt::AlignRight);
        QList<QTextLength> widths;
        int prevEdge = left;
        for (int e : cols) {
            widths.append(QTextLength(QTextLength::FixedLength, TwipsToPx(std::min(e - prevEdge, 31680))));
            prevEdge = e;
        }
        tf.setColumnWidthConstraints(widths);

        // Qt keeps a paragraph in front of every table; rather than leave the empty paragraph we
        // stand in there, put the table after the previous paragraph and drop the empty one.
        QTextCursor& c = Cursor;
        const int nrows = int(rows.size());
        const int ncols = int(cols.size());
        bool joined = false;
        const QTextBlock previous = c.block().previous();
        if (c.block().length() == 1 && previous.isValid() && previous.position() >= InsertStart &&
            c.document()->frameAt(previous.position()) == c.currentFrame() && !QTextCursor(previous).currentTable()) {
            c.movePosition(QTextCursor::PreviousCharacter);
            joined = true;
        }
        QTextTable* table = c.insertTable(nrows, ncols, tf);
        if (!table)
            return;
        ++Report.Tables;
        std::vector<int> vStart(std::size_t(ncols), -1);
        for (int r = 0; r < nrows; ++r) {
            Row& row = rows[std::size_t(r)];
            int prev = row.Def.Left;
            int lastCol = -1;
            for (std::size_t i = 0; i < row.Def.Cells.size() && i < row.Cells.size(); ++i) {
                const CellDef& d = row.Def.Cells[i];
                int first = lastCol + 1;
                int end = std::max(first, columnOf(d.Right));
                (void)prev;
                prev = d.Right;
                if (first >= ncols)
                    break;
                end = std::min(end, ncols - 1);
                lastCol = end;
                if (d.HMerge && i > 0) {
                    continue;
                }
                if (d.VMerge && vStart[std::size_t(first)] >= 0) {
                    const int startRow = vStart[std::size_t(first)];
                    QTextTableCell top = table->cellAt(startRow, first);
                    if (top.isValid() && top.column() == first)
                        table->mergeCells(startRow, first, r - startRow + 1, top.columnSpan());
                    continue;
                }
                vStart[std::size_t(first)] = d.VFirst ? r : -1;
                // Horizontal merges: the first cell spans those marked as merged after it.
                std::size_t j = i + 1;
                while (d.HFirst && j < row.Def.Cells.size() && row.Def.Cells[j].HMerge) {
                    end = std::min(columnOf(row.Def.Cells[j].Right), ncols - 1);
                    ++j;
                }
                if (end > first)
                    table->mergeCells(r, first, 1, end - first + 1);
                QTextTableCell cell = table->cellAt(r, first);
                if (!cell.isValid())
                    continue;
                QTextTableCellFormat cf = cell.format().toTableCellFormat();
                for (int side = 0; side < 4; ++side) {
                    Border b = d.Borders[side];
                    if (b.Style == 0)
                        b = row.Def.Borders[side];
                    double width = b.Style == 0 ? 0.0 : std::max(1.0, TwipsToPx(std::clamp<int>(b.Width, 1, 120)));
                    QBrush brush(b.Color >= 0 && std::size_t(b.Color) < Colors.size() && Colors[std::size_t(b.Color)].isValid()
                                     ? Colors[std::size_t(b.Color)]
                                     : QColor(Qt::black));
                    switch (side) {
                    case 0: cf.setTopBorder(width); cf.setTopBorderStyle(QtBorderStyle(b.Style)); cf.setTopBorderBrush(brush); break;
                    case 1: cf.setLeftBorder(width); cf.setLeftBorderStyle(QtBorderStyle(b.Style)); cf.setLeftBorderBrush(brush); break;
                    case 2: cf.setBottomBorder(width); cf.setBottomBorderStyle(QtBorderStyle(b.Style)); cf.setBottomBorderBrush(brush); break;
                    default: cf.setRightBorder(width); cf.setRightBorderStyle(QtBorderStyle(b.Style)); cf.setRightBorderBrush(brush); break;
                    }
                }
                if (d.Shading >= 0 && std::size_t(d.Shading) < Colors.size() && Colors[std::size_t(d.Shading)].isValid())
                    cf.setBackground(Colors[std::size_t(d.Shading)]);
                if (d.VAlign == 1)
                    cf.setVerticalAlignment(QTextCharFormat::AlignMiddle);
                else if (d.VAlign == 2)
                    cf.setVerticalAlignment(QTextCharFormat::AlignBottom);
                cell.setFormat(cf);
                QTextCursor cc = cell.firstCursorPosition();
                bool firstPara = true;
                for (const Para& p : row.Cells[i].Paras) {
                    if (!firstPara)
                        cc.insertBlock();
                    firstPara = false;
                    EmitParagraph(cc, p);
                }
            }
        }
        c = table->lastCursorPosition();
        c.movePosition(QTextCursor::NextBlock);
        if (joined)
            c.deleteChar();
    }

    // --- Control words ---

    void ControlWord()
    {
        ++Pos;  // the backslash
        if (Pos >= Size)
            return;
        const char ch = Data[Pos];
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'))) {
            ++Pos;
            ControlSymbol(ch);
            return;
        }
        char word[33];
        int len = 0;
        while (Pos < Size && ((Data[Pos] >= 'a' && Data[Pos] <= 'z') || (Data[Pos] >= 'A' && Data[Pos] <= 'Z'))) {
            if (len < 32)
                word[len++] = Data[Pos];
            ++Pos;
        }
        word[len] = 0;
        bool hasParam = false;
        bool negative = false;
        long long value = 0;
        if (Pos < Size && Data[Pos] == '-' && Pos + 1 < Size && Data[Pos + 1] >= '0' && Data[Pos + 1] <= '9') {
            negative = true;
            ++Pos;
        }
        int digits = 0;
        while (Pos < Size && Data[Pos] >= '0' && Data[Pos] <= '9') {
            if (digits < 10)
                value = value * 10 + (Data[Pos] - '0');
            ++digits;
            hasParam = true;
            ++Pos;
        }
        if (Pos < Size && Data[Pos] == ' ')
            ++Pos;
        if (negative)
            value = -value;
        const int param = int(std::clamp<long long>(value, -2147483647LL, 2147483647LL));
        FlushBytes();
        if (Overflow > 0) {
            // Groups nested too deeply are skipped whole; only \bin must still be stepped over.
            if (std::strcmp(word, "bin") == 0 && hasParam)
                SkipBinary(param, nullptr);
            return;
        }
        if (UcSkip > 0 && std::strcmp(word, "bin") != 0) {
            --UcSkip;
            return;
        }
        Word(std::string_view(word, std::size_t(len)), hasParam, param);
    }

    void ControlSymbol(char ch)
    {
        if (Overflow > 0) {
            if (ch == '\'' && Pos + 1 < Size)
                Pos += 2;
            return;
        }
        if (ch != '*')
            St().fresh = false;
        switch (ch) {
        case '\'': {
            int v = -1;
            if (Pos + 1 < Size) {
                const int hi = kHex.v[static_cast<unsigned char>(Data[Pos])];
                const int lo = kHex.v[static_cast<unsigned char>(Data[Pos + 1])];
                if (hi >= 0 && lo >= 0)
                    v = hi << 4 | lo;
            }
            if (v < 0) {
                // A broken escape: drop it and read on.
                return;
            }
            Pos += 2;
            if (UcSkip > 0) {
                --UcSkip;
                return;
            }
            if (St().dest == Dest::Pict) {
                HexData(Pos - 2, Pos);
                return;
            }
            AppendByte(static_cast<unsigned char>(v));
            return;
        }
        case '*':
            // Only a \* opening its group marks an ignorable destination.
            St().star = St().fresh;
            return;
        case '\\':
        case '{':
        case '}':
            if (UcSkip > 0) {
                FlushBytes();
                --UcSkip;
                return;
            }
            if (St().dest == Dest::Body || St().dest == Dest::FieldInst || St().dest == Dest::FontTable ||
                St().dest == Dest::StyleSheet) {
                FlushBytes();
                AppendText(QString(QLatin1Char(ch)));
            }
            return;
        case '~': AppendChar(0x00A0); return;
        case '-': AppendChar(0x00AD); return;
        case '_': AppendChar(0x2011); return;
        case '\r':
        case '\n':
            FlushBytes();
            if (UcSkip > 0) {
                --UcSkip;
                return;
            }
            Paragraph();
            return;
        case '\t': AppendChar(u'\t'); return;
        default:
            FlushBytes();
            if (UcSkip > 0)
                --UcSkip;
            return;
        }
    }

    void Paragraph()
    {
        if (St().dest == Dest::Body)
            EndParagraph(true);
    }

    void SetDest(Dest d, GroupEnd end = GroupEnd::None)
    {
        State& s = St();
        if (s.dest == Dest::Skip)
            return;
        s.dest = d;
        if (end != GroupEnd::None)
            s.end = end;
    }

    static bool IsSkippedDestination(std::string_view w)
    {
        static const char* const kSkip[] = {
            "info", "header", "headerl", "headerr", "headerf", "footerl", "footerf", "footnote", "annotation",
            "objdata", "objclass", "objname", "objalias", "objtopic", "objitem", "objsect", "datafield", "xe", "tc",
            "tcn", "txe", "rxe", "pn", "pntxta", "pntxtb", "nonshppict", "nonesttables", "listtable",
            "listoverridetable", "revtbl", "rsidtbl", "filetbl", "themedata", "colorschememapping", "latentstyles",
            "datastore", "fchars", "lchars", "docvar", "template", "comment", "author", "title", "subject",
            "keywords", "operator", "doccomm", "company", "manager", "category", "buptim", "creatim", "printim",
            "revtim", "hlinkbase", "bkmkstart", "bkmkend", "atnid", "atnauthor", "atndate", "atnref", "atrfstart",
            "atrfend", "atnicn", "private", "blipuid", "picprop", "shpinst", "sp", "sn", "sv", "do", "ftnsep",
            "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "pgdsctbl", "mmathPr", "wgrffmtfilter",
            "xmlnstbl", "xmlopen", "xmlclose", "generator", "userprops", "fldtype", "formfield",
            "ffname", "ffdeftext", "ffhelptext", "ffstattext", "ffentrymcr", "ffexitmcr", "ffformat", "ffl",
            "protusertbl", "mhtmltag", "htmltag", "bkmkcoll", "pxe", "falt", "panose", "fname", "fontemb",
            "fontfile", "keycode", "listname", "listpicture", "oldcprops",
            "oldpprops", "oldtprops", "oldsprops", "passwordhash", "password", "ebcstart", "ebcend", "dptxbxtext",
            "gridtbl", "nextfile", "background", "pgptbl"};
        for (const char* s : kSkip)
            if (w == s)
                return true;
        return false;
    }

    void Word(std::string_view w, bool hasParam, int param)
    {
        State& s = St();
        const bool star = s.star;
        const bool fresh = s.fresh;
        s.star = false;
        s.fresh = false;
        const int p = hasParam ? param : 1;
        const bool on = !hasParam || param != 0;

        // Destinations first: they decide what the rest of the group means.
        if (w == "fonttbl") { SetDest(Dest::FontTable, GroupEnd::FontTable); return; }
        if (w == "colortbl") { SetDest(Dest::ColorTable, GroupEnd::ColorTable); Colors.clear(); Red = Green = Blue = -1; return; }
        if (w == "stylesheet") { SetDest(Dest::StyleSheet); return; }
        if (w == "fldinst") { if (s.field >= 0) SetDest(Dest::FieldInst); else SetDest(Dest::Skip); return; }
        if (w == "fldrslt") { FieldResult(); return; }
        if (w == "field") { StartField(); return; }
        if (w == "pict") { StartPicture(); return; }
        if (w == "shppict" || w == "shprslt" || w == "result" || w == "object" || w == "shp" || w == "shpgrp" || w == "shptxt")
            return;
        if (w == "upr") { s.resume = s.dest; SetDest(Dest::Skip); return; }
        if (w == "ud") { s.dest = s.resume; return; }
        if (w == "footer" || w == "footerr") { StartFooter(); return; }
        // Destination words count only where a destination can start: a word such as \tc or
        // \pn in the middle of a group would otherwise swallow the rest of the document.
        if (fresh && IsSkippedDestination(w)) { s.dest = Dest::Skip; return; }
        if (star && !(s.dest == Dest::StyleSheet && (w == "cs" || w == "ts" || w == "ds"))) {
            s.dest = Dest::Skip;
            return;
        }

        switch (s.dest) {
        case Dest::FontTable: FontWord(w, hasParam, param); return;
        case Dest::ColorTable:
            if (w == "red") Red = std::clamp(param, 0, 255);
            else if (w == "green") Green = std::clamp(param, 0, 255);
            else if (w == "blue") Blue = std::clamp(param, 0, 255);
            return;
        case Dest::Pict: PictWord(w, hasParam, param); return;
        case Dest::Skip:
            if (w == "bin" && hasParam)
                SkipBinary(param, nullptr);
            return;
        default:
            break;
        }

        if (w == "bin") {
            if (hasParam)
                SkipBinary(param, nullptr);
            if (UcSkip > 0)
                --UcSkip;
            return;
        }
        // Document-level
        if (w == "ansicpg") { if (param > 0) AnsiCp = param; return; }
        if (w == "mac") { AnsiCp = 10000; return; }
        if (w == "pc") { AnsiCp = 437; return; }
        if (w == "pca") { AnsiCp = 850; return; }
        if (w == "deff") { DefaultFont = param; return; }
        if (w == "uc") { s.uc = std::max(0, param); return; }
        if (w == "u") {
            int v = param;
            if (v < 0)
                v += 65536;
            AppendTextUnit(char16_t(v & 0xFFFF));
            UcSkip = s.uc;
            return;
        }
        if (s.dest == Dest::FieldInst || s.dest == Dest::StyleSheet) {
            if (s.dest == Dest::StyleSheet)
                if (w == "s" || w == "cs" || w == "ds" || w == "ts") { s.para.style = param; return; }
        }
        if (CharWord(w, hasParam, p, on))
            return;
        if (ParaWord(w, hasParam, param))
            return;
        if (TableWord(w, hasParam, param))
            return;
        if (s.dest != Dest::Body)
            return;
        // Special characters and breaks.
        if (w == "par" || w == "sect") { EndParagraph(true); return; }
        if (w == "line") { AppendChar(0x2028); return; }
        if (w == "tab") { AppendChar(u'\t'); return; }
        if (w == "page") { PageBreak(); return; }
        if (w == "emdash") { AppendChar(0x2014); return; }
        if (w == "endash") { AppendChar(0x2013); return; }
        if (w == "lquote") { AppendChar(0x2018); return; }
        if (w == "rquote") { AppendChar(0x2019); return; }
        if (w == "ldblquote") { AppendChar(0x201C); return; }
        if (w == "rdblquote") { AppendChar(0x201D); return; }
        if (w == "bullet") { AppendChar(0x2022); return; }
        if (w == "emspace") { AppendChar(0x2003); return; }
        if (w == "enspace") { AppendChar(0x2002); return; }
        if (w == "qmspace") { AppendChar(0x2005); return; }
        if (w == "zwj") { AppendChar(0x200D); return; }
        if (w == "zwnj") { AppendChar(0x200C); return; }
        if (w == "cell") { if (St().dest == Dest::Body) EndCell(); return; }
        if (w == "nestcell" || w == "nestrow") { if (St().dest == Dest::Body) EndParagraphInCell(); return; }
        if (w == "row") { if (St().dest == Dest::Body) EndRow(); return; }
    }

    void AppendTextUnit(char16_t unit)
    {
        State& s = St();
        if (s.dest == Dest::Body || s.dest == Dest::FontTable || s.dest == Dest::StyleSheet || s.dest == Dest::FieldInst)
            AppendText(QString(QChar(unit)));
    }

    bool CharWord(std::string_view w, bool hasParam, int p, bool on)
    {
        CharProps& c = St().chr;
        if (w == "plain") { c.Plain(); c.font = -1; return true; }
        if (w == "b") { c.bold = on; return true; }
        if (w == "i") { c.italic = on; return true; }
        if (w == "ul" || w == "ulw" || w == "uldb" || w == "ulth" || w == "ulthd" || w == "ulhair") { c.underline = on ? 1 : 0; return true; }
        if (w == "uld" || w == "ulthd") { c.underline = on ? 2 : 0; return true; }
        if (w == "uldash" || w == "uldashd" || w == "uldashdd" || w == "ulthdash" || w == "ulldash") { c.underline = on ? 3 : 0; return true; }
        if (w == "ulwave" || w == "ululdbwave" || w == "ulhwave") { c.underline = on ? 4 : 0; return true; }
        if (w == "ulnone") { c.underline = 0; return true; }
        if (w == "strike" || w == "striked") { c.strike = on; return true; }
        if (w == "super") { c.vert = 1; return true; }
        if (w == "sub") { c.vert = 2; return true; }
        if (w == "nosupersub") { c.vert = 0; return true; }
        if (w == "up") { c.vert = (hasParam && p == 0) ? 0 : 1; return true; }
        if (w == "dn") { c.vert = (hasParam && p == 0) ? 0 : 2; return true; }
        if (w == "fs") { if (hasParam && p > 0) c.halfPoints = std::min(p, 3276); return true; }
        if (w == "f") { if (hasParam) c.font = p; return true; }
        if (w == "cf") { c.fg = hasParam ? p : 0; return true; }
        if (w == "highlight" || w == "cb" || w == "chcbpat") { c.bg = (hasParam && p > 0) ? p : -1; return true; }
        if (w == "caps") { c.caps = on ? 1 : 0; return true; }
        if (w == "scaps") { c.caps = on ? 2 : 0; return true; }
        if (w == "v") { c.hidden = on; return true; }
        if (w == "cs") {
            auto it = Styles.find(p);
            if (it != Styles.end()) {
                const auto keepLink = c.link, keepId = c.fieldId;
                const auto keepKind = c.fieldKind;
                c = it->second.Chr;
                c.link = keepLink;
                c.fieldId = keepId;
                c.fieldKind = keepKind;
            }
            return true;
        }
        return false;
    }

    bool ParaWord(std::string_view w, bool hasParam, int param)
    {
        ParaProps& a = St().para;
        if (w == "pard") {
            const int style = 0;
            a = ParaProps{};
            a.style = style;
            return true;
        }
        if (w == "ql") { a.align = 0; return true; }
        if (w == "qc") { a.align = 1; return true; }
        if (w == "qr") { a.align = 2; return true; }
        if (w == "qj" || w == "qd") { a.align = 3; return true; }
        if (w == "li" || w == "lin") { a.li = std::clamp(param, -31680, 31680); return true; }
        if (w == "ri" || w == "rin") { a.ri = std::clamp(param, -31680, 31680); return true; }
        if (w == "fi") { a.fi = std::clamp(param, -31680, 31680); return true; }
        if (w == "sb") { a.sb = std::clamp(param, 0, 31680); return true; }
        if (w == "sa") { a.sa = std::clamp(param, 0, 31680); return true; }
        if (w == "sl") { a.sl = std::clamp(param, -31680, 31680); if (!hasParam) a.sl = 0; return true; }
        if (w == "slmult") { a.slmult = !hasParam || param != 0; return true; }
        if (w == "keep") { a.keep = true; return true; }
        if (w == "keepn") { a.keepn = true; return true; }
        if (w == "pagebb") { a.pagebb = true; return true; }
        if (w == "intbl") { a.intbl = true; return true; }
        if (w == "itap") { a.itap = std::clamp(param, 0, 100); return true; }
        if (w == "s") {
            auto it = Styles.find(param);
            if (it != Styles.end()) {
                const bool intbl = a.intbl;
                const int itap = a.itap;
                a = it->second.Para;
                a.intbl = intbl;
                a.itap = itap;
            }
            a.style = param;
            return true;
        }
        if (w == "tqr") { a.pendingTabKind = 2; return true; }
        if (w == "tqc") { a.pendingTabKind = 1; return true; }
        if (w == "tqdec") { a.pendingTabKind = 3; return true; }
        if (w == "tldot") { a.pendingTabLeader = LeaderDot; return true; }
        if (w == "tlhyph" || w == "tlmdot") { a.pendingTabLeader = LeaderHyphen; return true; }
        if (w == "tlul") { a.pendingTabLeader = LeaderUnderline; return true; }
        if (w == "tlth") { a.pendingTabLeader = LeaderThick; return true; }
        if (w == "tleq") { a.pendingTabLeader = LeaderEquals; return true; }
        if (w == "tx" || w == "tb") {
            if (w == "tx" && a.ntabs < kMaxTabStops && param >= 0) {
                a.tabs[a.ntabs++] = TabStop{std::min(param, 31680), a.pendingTabKind, a.pendingTabLeader};
            }
            a.pendingTabKind = 0;
            a.pendingTabLeader = 0;
            return true;
        }
        if (w == "brdrt" || w == "brdrb" || w == "brdrl" || w == "brdrr" || w == "box" || w == "brdrbtw") {
            BorderTarget = 8;
            return true;
        }
        return false;
    }

    Border* CurrentBorder()
    {
        if (BorderTarget >= 0 && BorderTarget < 4)
            return &PendingCell.Borders[BorderTarget];
        if (BorderTarget >= 4 && BorderTarget < 8)
            return &CurRowDef.Borders[BorderTarget - 4];
        return nullptr;
    }

    bool TableWord(std::string_view w, bool hasParam, int param)
    {
        if (w == "trowd") { CurRowDef = RowDef{}; PendingCell = CellDef{}; BorderTarget = -1; return true; }
        if (w == "trgaph") { CurRowDef.Gap = std::clamp(param, 0, 1440); return true; }
        if (w == "trleft") { CurRowDef.Left = std::clamp(param, -14400, 14400); return true; }
        if (w == "trqc") { CurRowDef.Align = 1; return true; }
        if (w == "trqr") { CurRowDef.Align = 2; return true; }
        if (w == "trql") { CurRowDef.Align = 0; return true; }
        if (w == "trrh") { CurRowDef.Height = param; return true; }
        if (w == "cellx") {
            PendingCell.Right = std::clamp(param, -31680, 63360);
            if (CurRowDef.Cells.size() < std::size_t(kMaxTableColumns) * 2)
                CurRowDef.Cells.push_back(PendingCell);
            PendingCell = CellDef{};
            BorderTarget = -1;
            return true;
        }
        if (w == "clbrdrt") { BorderTarget = 0; return true; }
        if (w == "clbrdrl") { BorderTarget = 1; return true; }
        if (w == "clbrdrb") { BorderTarget = 2; return true; }
        if (w == "clbrdrr") { BorderTarget = 3; return true; }
        if (w == "trbrdrt") { BorderTarget = 4; return true; }
        if (w == "trbrdrl") { BorderTarget = 5; return true; }
        if (w == "trbrdrb") { BorderTarget = 6; return true; }
        if (w == "trbrdrr") { BorderTarget = 7; return true; }
        if (w == "trbrdrh" || w == "trbrdrv") { BorderTarget = 9; return true; }
        if (w == "brdrs" || w == "brdrth" || w == "brdrsh" || w == "brdrhair" || w == "brdrtriple" || w == "brdrthtnsg" ||
            w == "brdrtnthsg" || w == "brdrinset" || w == "brdroutset" || w == "brdremboss" || w == "brdrengrave") {
            if (Border* b = CurrentBorder()) { b->Style = 1; if (b->Width == 0) b->Width = 15; }
            return true;
        }
        if (w == "brdrdb") { if (Border* b = CurrentBorder()) { b->Style = 2; if (b->Width == 0) b->Width = 15; } return true; }
        if (w == "brdrdot") { if (Border* b = CurrentBorder()) { b->Style = 3; if (b->Width == 0) b->Width = 15; } return true; }
        if (w == "brdrdash" || w == "brdrdashsm" || w == "brdrdashd" || w == "brdrdashdd") {
            if (Border* b = CurrentBorder()) { b->Style = 4; if (b->Width == 0) b->Width = 15; }
            return true;
        }
        if (w == "brdrnone" || w == "brdrnil") { if (Border* b = CurrentBorder()) *b = Border{}; return true; }
        if (w == "brdrw") { if (Border* b = CurrentBorder()) b->Width = std::int16_t(std::clamp(param, 0, 255)); return true; }
        if (w == "brdrcf") { if (Border* b = CurrentBorder()) b->Color = param; return true; }
        if (w == "clcbpat") { PendingCell.Shading = param; return true; }
        if (w == "clvertalt") { PendingCell.VAlign = 0; return true; }
        if (w == "clvertalc") { PendingCell.VAlign = 1; return true; }
        if (w == "clvertalb") { PendingCell.VAlign = 2; return true; }
        if (w == "clmgf") { PendingCell.HFirst = true; return true; }
        if (w == "clmrg") { PendingCell.HMerge = true; return true; }
        if (w == "clvmgf") { PendingCell.VFirst = true; return true; }
        if (w == "clvmrg") { PendingCell.VMerge = true; return true; }
        (void)hasParam;
        return false;
    }

    void PageBreak()
    {
        if (St().para.intbl)
            return;
        if (!Cur.Text.isEmpty())
            EndParagraph(true);
        PageBreakPending = true;
    }

    // --- Fonts and colours ---

    void FontWord(std::string_view w, bool hasParam, int param)
    {
        if (w == "f" && hasParam) {
            if (FontOpen)
                CommitFont();
            FontNumber = param;
            FontPending = FontInfo{};
            FontOpen = true;
        } else if (w == "fcharset") {
            FontPending.Charset = param;
            if (FontPending.Codepage == 0)
                FontPending.Codepage = CodepageForCharset(param);
        } else if (w == "cpg") {
            FontPending.Codepage = param;
        } else if (w == "u" && hasParam) {
            int v = param < 0 ? param + 65536 : param;
            FontPending.Name += QChar(char16_t(v & 0xFFFF));
            UcSkip = St().uc;
        }
    }

    void CommitFont()
    {
        if (!FontOpen)
            return;
        FontOpen = false;
        if (Fonts.size() >= std::size_t(kMaxFonts) && !Fonts.count(FontNumber))
            return;
        FontPending.Name = FontPending.Name.trimmed();
        Fonts[FontNumber] = FontPending;
        FontPending = FontInfo{};
    }

    void CommitColor()
    {
        if (Colors.size() < std::size_t(kMaxColors)) {
            if (Red < 0 && Green < 0 && Blue < 0)
                Colors.push_back(QColor());
            else
                Colors.push_back(QColor(std::max(Red, 0), std::max(Green, 0), std::max(Blue, 0)));
        }
        Red = Green = Blue = -1;
    }

    // --- Fields ---

    void StartField()
    {
        State& s = St();
        if (s.dest != Dest::Body || Fields.size() >= std::size_t(kMaxFields)) {
            return;
        }
        Fields.push_back(Field{});
        s.field = int(Fields.size()) - 1;
        s.end = GroupEnd::Field;
    }

    static std::string FirstWord(const std::string& inst, std::size_t& pos)
    {
        while (pos < inst.size() && (inst[pos] == ' ' || inst[pos] == '\t'))
            ++pos;
        std::size_t start = pos;
        while (pos < inst.size() && inst[pos] != ' ' && inst[pos] != '\t')
            ++pos;
        return inst.substr(start, pos - start);
    }

    static QString HyperlinkTarget(const std::string& inst, std::size_t pos)
    {
        QString target;
        QString anchor;
        while (pos < inst.size()) {
            while (pos < inst.size() && (inst[pos] == ' ' || inst[pos] == '\t'))
                ++pos;
            if (pos >= inst.size())
                break;
            if (inst[pos] == '\\' && pos + 1 < inst.size()) {
                const char sw = inst[pos + 1];
                pos += 2;
                if (sw == 'l') {
                    std::size_t p2 = pos;
                    while (p2 < inst.size() && inst[p2] == ' ')
                        ++p2;
                    std::string arg;
                    if (p2 < inst.size() && inst[p2] == '"') {
                        const std::size_t close = inst.find('"', p2 + 1);
                        arg = inst.substr(p2 + 1, close == std::string::npos ? std::string::npos : close - p2 - 1);
                        pos = close == std::string::npos ? inst.size() : close + 1;
                    } else {
                        std::size_t e = p2;
                        while (e < inst.size() && inst[e] != ' ')
                            ++e;
                        arg = inst.substr(p2, e - p2);
                        pos = e;
                    }
                    anchor = AnsiToQt(arg);
                } else if (sw == 'o' || sw == 't' || sw == 'm' || sw == 'n') {
                    std::size_t p2 = pos;
                    while (p2 < inst.size() && inst[p2] == ' ')
                        ++p2;
                    if (p2 < inst.size() && inst[p2] == '"') {
                        const std::size_t close = inst.find('"', p2 + 1);
                        pos = close == std::string::npos ? inst.size() : close + 1;
                    }
                }
                continue;
            }
            if (inst[pos] == '"') {
                const std::size_t close = inst.find('"', pos + 1);
                std::string raw = inst.substr(pos + 1, close == std::string::npos ? std::string::npos : close - pos - 1);
                pos = close == std::string::npos ? inst.size() : close + 1;
                if (target.isEmpty()) {
                    // Word doubles backslashes inside quoted paths.
                    std::string unescaped;
                    for (std::size_t i = 0; i < raw.size(); ++i) {
                        if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '\\')
                            ++i;
                        unescaped.push_back(raw[i]);
                    }
                    target = AnsiToQt(unescaped);
                }
                continue;
            }
            std::size_t e = pos;
            while (e < inst.size() && inst[e] != ' ')
                ++e;
            if (target.isEmpty())
                target = AnsiToQt(inst.substr(pos, e - pos));
            pos = e;
        }
        if (!anchor.isEmpty())
            return target + QLatin1Char('#') + anchor;
        return target;
    }

    void FieldResult()
    {
        State& s = St();
        if (s.dest == Dest::Skip)
            return;
        s.dest = Dest::Body;
        if (s.field < 0)
            return;
        Field& f = Fields[std::size_t(s.field)];
        std::size_t pos = 0;
        std::string word = FirstWord(f.Inst, pos);
        for (char& ch : word)
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
        if (word == "HYPERLINK") {
            f.Kind = FieldLink;
            f.Href = HyperlinkTarget(f.Inst, pos);
            if (!f.Href.isEmpty()) {
                Links.push_back(f.Href);
                s.chr.link = int(Links.size()) - 1;
                s.chr.fieldKind = FieldLink;
                s.chr.fieldId = gFieldCounter.fetchAndAddRelaxed(1);
            }
        } else if (word == "PAGE") {
            s.chr.fieldKind = FieldPage;
            s.chr.fieldId = gFieldCounter.fetchAndAddRelaxed(1);
        } else if (word == "NUMPAGES") {
            s.chr.fieldKind = FieldNumPages;
            s.chr.fieldId = gFieldCounter.fetchAndAddRelaxed(1);
        }
    }

    // --- Pictures ---

    void StartPicture()
    {
        State& s = St();
        if (s.dest != Dest::Body || PictActive) {
            s.dest = Dest::Skip;
            return;
        }
        s.dest = Dest::Pict;
        s.end = GroupEnd::Pict;
        Pict = TPicture{};
        PictActive = true;
        PictNibble = -1;
    }

    void PictWord(std::string_view w, bool hasParam, int param)
    {
        if (w == "pngblip") Pict.Kind = PictPng;
        else if (w == "jpegblip") Pict.Kind = PictJpeg;
        else if (w == "emfblip") Pict.Kind = PictEmf;
        else if (w == "wmetafile") { Pict.Kind = PictWmf; Pict.MapMode = hasParam ? param : 8; }
        else if (w == "dibitmap") Pict.Kind = PictDib;
        else if (w == "wbitmap" || w == "macpict" || w == "pmmetafile") Pict.Kind = PictOther;
        else if (w == "picw") Pict.PicW = std::clamp(param, 0, 1000000);
        else if (w == "pich") Pict.PicH = std::clamp(param, 0, 1000000);
        else if (w == "picwgoal") Pict.GoalW = std::clamp(param, 0, 1000000);
        else if (w == "pichgoal") Pict.GoalH = std::clamp(param, 0, 1000000);
        else if (w == "picscalex") Pict.ScaleX = std::clamp(param, 1, 1000);
        else if (w == "picscaley") Pict.ScaleY = std::clamp(param, 1, 1000);
        else if (w == "bin" && hasParam) SkipBinary(param, &Pict.Data);
    }

    void SkipBinary(int count, QByteArray* into)
    {
        if (count <= 0)
            return;
        const std::size_t available = Size - Pos;
        const std::size_t n = std::min<std::size_t>(std::size_t(count), available);
        if (into) {
            const qsizetype room = kMaxPictureBytes - into->size();
            if (room > 0)
                into->append(Data + Pos, qsizetype(std::min<std::size_t>(n, std::size_t(room))));
            if (qsizetype(n) > room)
                Pict.Truncated = true;
        }
        Pos += n;
    }

    void EndPicture()
    {
        PictActive = false;
        if (Pict.Kind == PictNone)
            Pict.Kind = PictOther;
        TPicture picture = std::move(Pict);
        Pict = TPicture{};
        TPicture drawn = picture;
        if (!Options.DrawMetafiles && (picture.Kind == PictWmf || picture.Kind == PictEmf))
            drawn.Kind = PictOther;  // a placeholder; the data is still kept and written back
        QSizeF size;
        const QImage image = RenderPicture(drawn, size);
        const QString name = QStringLiteral("hvpict:%1").arg(gPictureCounter.fetchAndAddRelaxed(1));
        QTextDocument* doc = Cursor.document();
        doc->addResource(QTextDocument::ImageResource, QUrl(name), image);
        if (!picture.Truncated)
            doc->addResource(kPictDataResource, PictDataUrl(name), picture.Data);
        QTextImageFormat f;
        f.setName(name);
        f.setWidth(size.width());
        f.setHeight(size.height());
        f.setProperty(kPictKindProperty, int(picture.Truncated ? PictNone : picture.Kind));
        f.setProperty(kPictWProperty, picture.PicW);
        f.setProperty(kPictHProperty, picture.PicH);
        f.setProperty(kPictMapModeProperty, picture.MapMode);
        Images.push_back(f);
        ++Report.Pictures;
        // The picture occupies one character of the paragraph.
        Cur.Runs.push_back(TextRun{int(Cur.Text.size()), 1, -1, int(Images.size()) - 1});
        Cur.Text += QChar(QChar::ObjectReplacementCharacter);
    }

    // --- Footer ---

    void StartFooter()
    {
        State& s = St();
        const bool take = Options.FooterTarget && !FooterTaken && s.dest == Dest::Body;
        s.dest = Dest::Skip;
        if (take) {
            s.end = GroupEnd::Footer;
            FooterStart = Pos;
        }
    }

    void ReadFooter()
    {
        QTextCursor fc(Options.FooterTarget);
        fc.movePosition(QTextCursor::End);
        TRtfReadOptions sub;
        sub.DrawMetafiles = Options.DrawMetafiles;
        TReader footer(fc, sub);
        footer.PrimeFrom(*this);
        footer.ParseBody(std::string_view(Data + FooterStart, FooterEnd - FooterStart));
        // A footer's last paragraph mark adds nothing visible.
        QTextCursor tail(Options.FooterTarget);
        tail.movePosition(QTextCursor::End);
        if (tail.block().length() == 1 && tail.blockNumber() > 0)
            tail.deletePreviousChar();
    }

    void Finish()
    {
        FlushBytes();
        while (States.size() > 1) {
            // Truncated input: close what is open so pictures and fields end properly.
            CloseGroup(Size);
            if (States.size() == 1)
                break;
        }
        State& s = St();
        (void)s;
        if (!Cur.Text.isEmpty() || !Cur.Runs.empty()) {
            if (St().para.intbl)
                EndParagraphInCell();
            else
                EndParagraph(false);
        }
        if (!Rows.empty() || CellOpen || !CurRow.Cells.empty())
            EmitTable();
    }
};

}  // namespace

TRtfReadReport ReadRtf(std::string_view rtfText, QTextCursor& cursor, const TRtfReadOptions& options)
{
    cursor.beginEditBlock();
    TReader reader(cursor, options);
    TRtfReadReport report = reader.Run(rtfText);
    cursor.endEditBlock();
    return report;
}
