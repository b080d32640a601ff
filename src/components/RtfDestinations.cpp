#include "RtfReaderState.h"

#include "model/RtfWords.h"

namespace rtf::reading {

namespace {

QAtomicInt gPictureCounter;
QAtomicInt gFieldCounter(1000);

}  // namespace

void TReader::FontWord(std::string_view w, bool hasParam, int param)
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
            FontPending.Codepage = hv::CodepageForCharset(param);
    } else if (w == "cpg") {
        FontPending.Codepage = param;
    } else if (w == "u" && hasParam) {
        int v = param < 0 ? param + 65536 : param;
        FontPending.Name += QChar(char16_t(v & 0xFFFF));
        UcSkip = St().uc;
    }
}

void TReader::CommitFont()
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

void TReader::CommitColor()
{
    if (Colors.size() < std::size_t(kMaxColors)) {
        if (Red < 0 && Green < 0 && Blue < 0)
            Colors.push_back(QColor());
        else
            Colors.push_back(QColor(std::max(Red, 0), std::max(Green, 0), std::max(Blue, 0)));
    }
    Red = Green = Blue = -1;
}

void TReader::StartField()
{
    State& s = St();
    if (s.dest != Dest::Body || Fields.size() >= std::size_t(kMaxFields)) {
        return;
    }
    Fields.push_back(Field{});
    s.field = int(Fields.size()) - 1;
    s.end = GroupEnd::Field;
}

std::string TReader::FirstWord(const std::string& inst, std::size_t& pos)
{
    while (pos < inst.size() && (inst[pos] == ' ' || inst[pos] == '\t'))
        ++pos;
    std::size_t start = pos;
    while (pos < inst.size() && inst[pos] != ' ' && inst[pos] != '\t')
        ++pos;
    return inst.substr(start, pos - start);
}

QString TReader::HyperlinkTarget(const std::string& inst, std::size_t pos)
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

void TReader::FieldResult()
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

void TReader::StartPicture()
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

void TReader::PictWord(std::string_view w, bool hasParam, int param)
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

void TReader::SkipBinary(int count, QByteArray* into)
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

void TReader::EndPicture()
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

void TReader::StartFooter()
{
    State& s = St();
    const bool take = Options.FooterTarget && !FooterTaken && s.dest == Dest::Body;
    s.dest = Dest::Skip;
    if (take) {
        s.end = GroupEnd::Footer;
        FooterStart = Pos;
    }
}

void TReader::ReadFooter()
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

}  // namespace rtf::reading
