#pragma once

// The RTF reader's state machine, shared by the files that implement it: the tokenizer
// (groups, control words, text and code pages), the destinations (fonts, colours, fields,
// pictures, footer), tables, and the paragraphs and characters it builds.

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

namespace rtf::reading {

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
        h ^= (std::size_t(p.fg) + 7u) * 131u ^ (std::size_t(p.bg) + 11u) * 8191u ^ (std::size_t(p.link) + 3u) * 524287u;
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
inline constexpr HexTable kHex;

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

    void Parse();
    void OpenGroup();
    void CloseGroup(std::size_t at);


    int CodepageOfFont(int font) const;

    void TextBytes(std::size_t begin, std::size_t end);
    void AppendByte(unsigned char b);
    void FlushBytes();
    void AppendText(const QString& text);
    int FormatFor(const CharProps& props);
    void AppendBody(const QString& text, const CharProps& props);
    void AppendChar(char16_t c);
    void HexData(std::size_t begin, std::size_t end);


    QTextBlockFormat BlockFormatFor(const ParaProps& p);

    // Ends the paragraph being collected; endsWithBreak is false only at the end of input.
    void EndParagraph(bool endsWithBreak);
    void EmitParagraph(QTextCursor& c, const Para& p);
    void EndCell();
    void EndParagraphInCell();
    void EndRow();
    static QTextFrameFormat::BorderStyle QtBorderStyle(std::uint8_t style);
    void EmitTable();


    void ControlWord();
    void ControlSymbol(char ch);
    void Paragraph();
    void SetDest(Dest d, GroupEnd end = GroupEnd::None);
    static bool IsSkippedDestination(std::string_view w);
    void Word(std::string_view w, bool hasParam, int param);
    void AppendTextUnit(char16_t unit);
    bool CharWord(std::string_view w, bool hasParam, int p, bool on);
    bool ParaWord(std::string_view w, bool hasParam, int param);
    Border* CurrentBorder();
    bool TableWord(std::string_view w, bool hasParam, int param);
    void PageBreak();


    void FontWord(std::string_view w, bool hasParam, int param);
    void CommitFont();
    void CommitColor();


    void StartField();
    static std::string FirstWord(const std::string& inst, std::size_t& pos);
    static QString HyperlinkTarget(const std::string& inst, std::size_t pos);
    void FieldResult();


    void StartPicture();
    void PictWord(std::string_view w, bool hasParam, int param);
    void SkipBinary(int count, QByteArray* into);
    void EndPicture();


    void StartFooter();
    void ReadFooter();
    void Finish();
};

}  // namespace rtf::reading
