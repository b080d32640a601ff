#include "RtfReaderState.h"

namespace rtf::reading {

void TReader::EndCell()
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

void TReader::EndParagraphInCell()
{
    FlushBytes();
    State& s = St();
    Cur.Block = BlockFormatFor(s.para);
    Cur.MarkFormat = FormatFor(s.chr);
    CurCell.Paras.push_back(std::move(Cur));
    CellOpen = true;
    Cur = Para{};
}

void TReader::EndRow()
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

QTextFrameFormat::BorderStyle TReader::QtBorderStyle(std::uint8_t style)
{
    switch (style) {
    case 2: return QTextFrameFormat::BorderStyle_Double;
    case 3: return QTextFrameFormat::BorderStyle_Dotted;
    case 4: return QTextFrameFormat::BorderStyle_Dashed;
    default: return QTextFrameFormat::BorderStyle_Solid;
    }
}

void TReader::EmitTable()
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
            const QTextCharFormat cellFormat = cell.format();
            QTextCursor cc = cell.firstCursorPosition();
            bool firstPara = true;
            for (const Para& p : row.Cells[i].Paras) {
                if (!firstPara)
                    cc.insertBlock();
                firstPara = false;
                EmitParagraph(cc, p);
            }
            // A cell's first block takes its character format from the cell's own format, so an
            // empty first paragraph's mark replaced the cell's spans, borders and shading: they
            // go back on top of the mark.
            const QTextTableCell filled = table->cellAt(r, first);
            if (filled.format() != cellFormat) {
                QTextCharFormat merged = filled.format();
                merged.merge(cellFormat);
                filled.firstCursorPosition().setBlockCharFormat(merged);
            }
        }
    }
    c = table->lastCursorPosition();
    c.movePosition(QTextCursor::NextBlock);
    if (joined)
        c.deleteChar();
}

Border* TReader::CurrentBorder()
{
    if (BorderTarget >= 0 && BorderTarget < 4)
        return &PendingCell.Borders[BorderTarget];
    if (BorderTarget >= 4 && BorderTarget < 8)
        return &CurRowDef.Borders[BorderTarget - 4];
    return nullptr;
}

bool TReader::TableWord(std::string_view w, bool hasParam, int param)
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

}  // namespace rtf::reading
