#include "RtfReaderState.h"

namespace rtf::reading {

int TReader::FormatFor(const CharProps& props)
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

void TReader::AppendBody(const QString& rawText, const CharProps& props)
{
    // Control characters other than the tab (from \u8 or \'01, say) are not text: nothing shows
    // them and no writer can say them back, so they are left out here. So are the characters the
    // text document keeps for itself (a picture's place, a frame's edges): written as text
    // (\u-4, say) they would stand for an object that is not there.
    QString text = rawText;
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t') || u == QChar::ObjectReplacementCharacter || u == 0xFDD0 || u == 0xFDD1;
    });
    if (text.isEmpty())
        return;
    const int format = FormatFor(props);
    if (!Cur.Runs.empty() && Cur.Runs.back().Format == format && Cur.Runs.back().Image < 0) {
        Cur.Runs.back().Length += int(text.size());
    } else {
        Cur.Runs.push_back(TextRun{int(Cur.Text.size()), int(text.size()), format, -1});
    }
    Cur.Text += text;
}

void TReader::AppendChar(char16_t c)
{
    FlushBytes();
    if (UcSkip > 0) {
        --UcSkip;
        return;
    }
    AppendText(QString(QChar(c)));
}

QTextBlockFormat TReader::BlockFormatFor(const ParaProps& p)
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
        b.setProperty(kKeepTogetherProperty, true);
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

void TReader::EndParagraph(bool endsWithBreak)
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

void TReader::EmitParagraph(QTextCursor& c, const Para& p)
{
    if (c.block().length() == 1) {
        const QTextBlock above = c.block().previous();
        if (above.isValid() && above.blockFormat().bottomMargin() > 0 && !c.currentTable()) {
            QTextBlockFormat spaced = p.Block;
            SetSpaceBefore(spaced, spaced.topMargin(), above.blockFormat().bottomMargin());
            c.setBlockFormat(spaced);
        } else {
            c.setBlockFormat(p.Block);
        }
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

void TReader::Paragraph()
{
    if (St().dest == Dest::Body)
        EndParagraph(true);
}

bool TReader::CharWord(std::string_view w, bool hasParam, int p, bool on)
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
    // Colour indexes past the largest table we keep name no colour.
    if (w == "cf") { c.fg = !hasParam ? 0 : (p >= 0 && p < kMaxColors) ? p : -1; return true; }
    if (w == "highlight" || w == "cb" || w == "chcbpat") { c.bg = (hasParam && p > 0 && p < kMaxColors) ? p : -1; return true; }
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

bool TReader::ParaWord(std::string_view w, bool hasParam, int param)
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

void TReader::PageBreak()
{
    if (St().para.intbl)
        return;
    if (!Cur.Text.isEmpty())
        EndParagraph(true);
    PageBreakPending = true;
}

void TReader::Finish()
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

}  // namespace rtf::reading

TRtfReadReport ReadRtf(std::string_view rtfText, QTextCursor& cursor, const TRtfReadOptions& options)
{
    cursor.beginEditBlock();
    rtf::reading::TReader reader(cursor, options);
    TRtfReadReport report = reader.Run(rtfText);
    cursor.endEditBlock();
    return report;
}
