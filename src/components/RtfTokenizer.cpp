#include "RtfReaderState.h"

namespace rtf::reading {

namespace {

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

}  // namespace

void TReader::Parse()
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

void TReader::OpenGroup()
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

void TReader::CloseGroup(std::size_t at)
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

void TReader::ControlWord()
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

void TReader::ControlSymbol(char ch)
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

void TReader::SetDest(Dest d, GroupEnd end)
{
    State& s = St();
    if (s.dest == Dest::Skip)
        return;
    s.dest = d;
    if (end != GroupEnd::None)
        s.end = end;
}

bool TReader::IsSkippedDestination(std::string_view w)
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

void TReader::Word(std::string_view w, bool hasParam, int param)
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

int TReader::CodepageOfFont(int font) const
{
    auto it = Fonts.find(font < 0 ? DefaultFont : font);
    if (it != Fonts.end() && it->second.Codepage != 0)
        return it->second.Codepage;
    return AnsiCp;
}

void TReader::TextBytes(std::size_t begin, std::size_t end)
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

void TReader::AppendByte(unsigned char b)
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

void TReader::FlushBytes()
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

void TReader::AppendText(const QString& text)
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

void TReader::AppendTextUnit(char16_t unit)
{
    State& s = St();
    if (s.dest == Dest::Body || s.dest == Dest::FontTable || s.dest == Dest::StyleSheet || s.dest == Dest::FieldInst)
        AppendText(QString(QChar(unit)));
}

void TReader::HexData(std::size_t begin, std::size_t end)
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

}  // namespace rtf::reading
