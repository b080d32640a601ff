#include "output/EditForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

#include <limits>

#include "AnsiString.h"
#include "Pictures.h"
#include "RtfFormat.h"
#include "TextControl.h"
#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "model/Segments.h"
#include "model/TextStore.h"
#include "output/OutputForms.h"

namespace hv {

namespace {

enum TStyle { Indent1 = 1, Indent2, Indent3, Body, Mark };

constexpr int kIndentStepTwips = 720;

// The picture kind a file's first bytes announce, and where its picture data starts.
rtf::TPictKind SniffPicture(const QByteArray& bytes, qsizetype& dataStart, int& goalW, int& goalH) {
  dataStart = 0;
  goalW = goalH = 0;
  auto u16 = [&](qsizetype at) { return int(quint8(bytes[at])) | (int(quint8(bytes[at + 1])) << 8); };
  auto s16 = [&](qsizetype at) { return int(std::int16_t(u16(at))); };
  if (bytes.startsWith("\x89PNG\r\n\x1a\n")) return rtf::PictPng;
  if (bytes.startsWith("\xff\xd8\xff")) return rtf::PictJpeg;
  if (bytes.size() > 14 && bytes.startsWith("BM")) {
    dataStart = 14;  // the file header; the rest is a device-independent bitmap
    return rtf::PictDib;
  }
  if (bytes.size() > 22 && bytes.startsWith("\xd7\xcd\xc6\x9a")) {
    // A placeable metafile: its header gives the picture's size in units per inch.
    const int inch = u16(14);
    if (inch > 0) {
      goalW = (s16(10) - s16(6)) * 1440 / inch;
      goalH = (s16(12) - s16(8)) * 1440 / inch;
    }
    dataStart = 22;
    return rtf::PictWmf;
  }
  if (bytes.size() > 18 && (bytes.startsWith(QByteArray("\x01\x00\x09\x00", 4)) || bytes.startsWith(QByteArray("\x02\x00\x09\x00", 4))))
    return rtf::PictWmf;
  return rtf::PictNone;
}

}  // namespace

std::int16_t FieldToInt16(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok || value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
    throw EConvertError("'" + QtToAnsi(text) + "' is not a valid integer value");
  return static_cast<std::int16_t>(value);
}

TEditForm::TEditForm(TAppLogic& app, QWidget* parent)
    : QDialog(parent), EditATX(new TTXTextControl(this)), App(app), Streamer(*EditATX) {
  setObjectName(QStringLiteral("EditForm"));
  setWindowTitle(QStringLiteral("Text Editor"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setMinimumSize(441, 150);
  resize(700, 520);

  ToolBar = new QWidget(this);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  StyleB = AddButton("StyleB", "Format text to pre-defined style", "Style");
  FontB = AddButton("FontB", "Set font attributes", "Font");
  BoldB = AddButton("BoldB", "Bold", "B");
  ItalicB = AddButton("ItalicB", "Italic", "I");
  UnderlineB = AddButton("UnderlineB", "Underline", "U");
  LeftB = AddButton("LeftB", "Left align paragraph", "Left");
  CenterB = AddButton("CenterB", "Centred paragrah", "Centre");
  RightB = AddButton("RightB", "Right align paragraph", "Right");
  InsertPicB = AddButton("InsertPicB", "Insert picture", "Picture");
  SuperB = AddButton("SuperB", "Superscript", "Sup");
  SubB = AddButton("SubB", "Subscript", "Sub");
  CutB = AddButton("CutB", "Cut", "Cut");
  CopyB = AddButton("CopyB", "Copy", "Copy");
  PasteB = AddButton("PasteB", "Paste", "Paste");
  for (QToolButton* b : {BoldB, ItalicB, UnderlineB, LeftB, CenterB, RightB, SuperB, SubB}) b->setCheckable(true);

  StyleM = new QMenu(this);
  StyleM->setObjectName(QStringLiteral("StyleM"));
  const std::pair<const char*, TStyle> items[] = {{"Indent &1", Indent1}, {"Indent &2", Indent2}, {"Indent &3", Indent3},
                                                  {"&Body", Body},         {"&Mark", Mark}};
  for (const auto& [caption, style] : items) {
    QAction* action = StyleM->addAction(QString::fromUtf8(caption));
    const TStyle s = style;
    connect(action, &QAction::triggered, this, [this, s] { ApplyStyle(s); });
  }

  DescriptionL = new QLabel(QStringLiteral("&Description"), this);
  DescriptionE = new QLineEdit(this);
  DescriptionE->setObjectName(QStringLiteral("DescriptionE"));
  DescriptionL->setBuddy(DescriptionE);
  MarkL = new QLabel(QStringLiteral("&Mark"), this);
  MarkNE = new QLineEdit(this);
  MarkNE->setObjectName(QStringLiteral("MarkNE"));
  MarkL->setBuddy(MarkNE);
  TimeL = new QLabel(QStringLiteral("Time &Allowed"), this);
  TimeNE = new QLineEdit(this);
  TimeNE->setObjectName(QStringLiteral("TimeNE"));
  TimeL->setBuddy(TimeNE);
  MinL = new QLabel(QStringLiteral("min"), this);
  NumberedCB = new QCheckBox(QStringLiteral("&Numbered"), this);
  NumberedCB->setObjectName(QStringLiteral("NumberedCB"));
  EditATX->setObjectName(QStringLiteral("EditATX"));

  OkB = new QPushButton(QStringLiteral("&OK"), this);
  OkB->setObjectName(QStringLiteral("OkB"));
  CancelB = new QPushButton(QStringLiteral("&Cancel"), this);
  CancelB->setObjectName(QStringLiteral("CancelB"));
  // Enter belongs to the text; only a click or Alt+O closes the editor.
  OkB->setAutoDefault(false);
  CancelB->setAutoDefault(false);
  // The text control is made first but sits below the fields, so Tab is told the visual order.
  EditATX->setAccessibleName(QStringLiteral("Text"));
  setTabOrder(DescriptionE, MarkNE);
  setTabOrder(MarkNE, TimeNE);
  setTabOrder(TimeNE, NumberedCB);
  setTabOrder(NumberedCB, EditATX);
  setTabOrder(EditATX, OkB);
  setTabOrder(OkB, CancelB);
  connect(OkB, &QPushButton::clicked, this, &TEditForm::accept);
  connect(CancelB, &QPushButton::clicked, this, &TEditForm::reject);

  connect(BoldB, &QToolButton::clicked, this, [this] {
    EditATX->SetFontBold(EditATX->FontBold() == -1 ? 0 : -1);
    UpdateButtons();
  });
  connect(ItalicB, &QToolButton::clicked, this, [this] {
    EditATX->SetFontItalic(EditATX->FontItalic() == -1 ? 0 : -1);
    UpdateButtons();
  });
  connect(UnderlineB, &QToolButton::clicked, this, [this](bool on) {
    QTextCharFormat f;
    f.setFontUnderline(on);
    EditATX->mergeCurrentCharFormat(f);
    UpdateButtons();
  });
  connect(SuperB, &QToolButton::clicked, this, [this](bool on) { SetVerticalAlignment(true, on); });
  connect(SubB, &QToolButton::clicked, this, [this](bool on) { SetVerticalAlignment(false, on); });
  const std::pair<QToolButton*, Qt::Alignment> aligns[] = {{LeftB, Qt::AlignLeft | Qt::AlignAbsolute},
                                                           {CenterB, Qt::AlignHCenter},
                                                           {RightB, Qt::AlignRight | Qt::AlignAbsolute}};
  for (const auto& [button, alignment] : aligns) {
    const Qt::Alignment a = alignment;
    connect(button, &QToolButton::clicked, this, [this, a] {
      EditATX->setAlignment(a);
      UpdateButtons();
    });
  }
  connect(FontB, &QToolButton::clicked, this, [this] {
    // The control opens its font dialog on F2.
    EditATX->setFocus();
    QApplication::postEvent(EditATX, new QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier));
  });
  connect(StyleB, &QToolButton::clicked, this, [this] { StyleM->popup(StyleB->mapToGlobal(QPoint(4, 4))); });
  connect(CutB, &QToolButton::clicked, EditATX, &QTextEdit::cut);
  connect(CopyB, &QToolButton::clicked, EditATX, &QTextEdit::copy);
  connect(PasteB, &QToolButton::clicked, EditATX, &QTextEdit::paste);
  connect(InsertPicB, &QToolButton::clicked, this, [this] {
    try {
      const QString file = Ask().OpenFileName(QString::fromUtf8(kInsertPictureCaption),
                                              QtFileFilter(QString::fromUtf8(kInsertPictureFilter)), QString(), QString());
      if (!file.isEmpty()) InsertPicture(file);
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
    RestoreWorkingDirectory();
  });
  connect(EditATX, &QTextEdit::currentCharFormatChanged, this, &TEditForm::UpdateButtons);
  connect(EditATX, &QTextEdit::cursorPositionChanged, this, &TEditForm::UpdateButtons);
  UpdateButtons();
}

TEditForm::~TEditForm() = default;

QToolButton* TEditForm::AddButton(const char* name, const char* hint, const char* text) {
  auto* button = new QToolButton(ToolBar);
  button->setObjectName(QLatin1String(name));
  button->setToolTip(QString::fromUtf8(hint));
  button->setText(QString::fromUtf8(text));
  const QIcon face = ButtonFace(name);
  if (!face.isNull()) button->setIcon(face);
  button->setToolButtonStyle(face.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
  button->setIconSize(QSize(16, 16));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

void TEditForm::UpdateButtons() {
  const QTextCharFormat f = EditATX->currentCharFormat();
  BoldB->setChecked(EditATX->FontBold() == -1);
  ItalicB->setChecked(EditATX->FontItalic() == -1);
  UnderlineB->setChecked(f.fontUnderline());
  SuperB->setChecked(f.verticalAlignment() == QTextCharFormat::AlignSuperScript);
  SubB->setChecked(f.verticalAlignment() == QTextCharFormat::AlignSubScript);
  const Qt::Alignment a = EditATX->alignment() & Qt::AlignHorizontal_Mask;
  LeftB->setChecked(a & (Qt::AlignLeft | Qt::AlignJustify) || a == Qt::Alignment());
  CenterB->setChecked(a & Qt::AlignHCenter);
  RightB->setChecked(a & Qt::AlignRight);
}

void TEditForm::SetVerticalAlignment(bool super, bool on) {
  QTextCharFormat f;
  f.setVerticalAlignment(on ? (super ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript)
                            : QTextCharFormat::AlignNormal);
  EditATX->mergeCurrentCharFormat(f);
  UpdateButtons();
}

void TEditForm::ApplyStyle(int style) {
  QTextCursor c = EditATX->textCursor();
  c.beginEditBlock();
  QTextBlockFormat block;
  QTextCharFormat chars;
  switch (style) {
    case Indent1:
    case Indent2:
    case Indent3:
      block.setLeftMargin(rtf::TwipsToPx(kIndentStepTwips * style));
      block.setTextIndent(0);
      break;
    case Body:
      block.setLeftMargin(0);
      block.setRightMargin(0);
      block.setTextIndent(0);
      block.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
      chars.setFontFamilies({QStringLiteral("Times New Roman")});
      chars.setFontPointSize(12);
      chars.setFontWeight(QFont::Normal);
      chars.setFontItalic(false);
      chars.setFontUnderline(false);
      chars.setVerticalAlignment(QTextCharFormat::AlignNormal);
      break;
    case Mark:
      // Mark allocations stand at the right margin in bold, as "[2]" does in library texts.
      block.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
      chars.setFontWeight(QFont::Bold);
      break;
    default:
      break;
  }
  c.mergeBlockFormat(block);
  if (!chars.properties().isEmpty()) {
    // The style covers whole paragraphs, as the caret's paragraph is what the user pointed at.
    QTextCursor paragraphs = c;
    const int end = c.selectionEnd();
    paragraphs.setPosition(c.selectionStart());
    paragraphs.movePosition(QTextCursor::StartOfBlock);
    paragraphs.setPosition(end, QTextCursor::KeepAnchor);
    paragraphs.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    paragraphs.mergeCharFormat(chars);
    c.mergeCharFormat(chars);
  }
  c.endEditBlock();
  EditATX->setTextCursor(c);
  UpdateButtons();
}

void TEditForm::InsertPicture(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) throw EInOutError("Cannot open picture file " + QtToAnsi(fileName) + ".");
  const QByteArray bytes = file.read(kMaxPictureBytes + 1);
  if (bytes.size() > kMaxPictureBytes) throw EInOutError("The picture " + QtToAnsi(fileName) + " is too large.");
  TPicture picture;
  qsizetype start = 0;
  picture.Kind = SniffPicture(bytes, start, picture.GoalW, picture.GoalH);
  if (picture.Kind == rtf::PictNone) throw EInOutError(QtToAnsi(fileName) + " is not a picture that can be inserted.");
  picture.Data = bytes.mid(start);
  QSizeF size;
  const QImage image = RenderPicture(picture, size);
  if (picture.Kind != rtf::PictWmf) {
    const QImage check = QImage::fromData(picture.Kind == rtf::PictDib ? bytes : picture.Data);
    if (check.isNull()) throw EInOutError(QtToAnsi(fileName) + " is not a picture that can be inserted.");
    picture.PicW = check.width();
    picture.PicH = check.height();
    // Shown at the size its own resolution gives, as a word processor would.
    const double dpiX = check.dotsPerMeterX() > 0 ? check.dotsPerMeterX() * 0.0254 : rtf::kLayoutDpi;
    const double dpiY = check.dotsPerMeterY() > 0 ? check.dotsPerMeterY() * 0.0254 : rtf::kLayoutDpi;
    size = QSizeF(check.width() * rtf::kLayoutDpi / dpiX, check.height() * rtf::kLayoutDpi / dpiY);
  }
  // Never wider than the text.
  const double width = TTXTextControl::TextWidthPx();
  if (size.width() > width) size = QSizeF(width, size.height() * width / size.width());

  static int counter = 0;
  const QString name = QStringLiteral("hvedit:%1").arg(++counter);
  QTextDocument* doc = EditATX->document();
  doc->addResource(QTextDocument::ImageResource, QUrl(name), image);
  doc->addResource(rtf::kPictDataResource, rtf::PictDataUrl(name), picture.Data);
  QTextImageFormat f;
  f.setName(name);
  f.setWidth(size.width());
  f.setHeight(size.height());
  f.setProperty(rtf::kPictKindProperty, int(picture.Kind));
  f.setProperty(rtf::kPictWProperty, picture.PicW);
  f.setProperty(rtf::kPictHProperty, picture.PicH);
  f.setProperty(rtf::kPictMapModeProperty, picture.MapMode);
  QTextCursor c = EditATX->textCursor();
  c.insertImage(f);
  EditATX->setTextCursor(c);
}

void TEditForm::LoadText(TTextChunk& chunk) {
  try {
    Streamer.LoadControl(chunk);
  } catch (...) {
    chunk.ReleaseLines();
    throw;
  }
  chunk.ReleaseLines();
  QTextDocument* doc = EditATX->document();
  QTextBlock last = doc->lastBlock();
  if (last.text().isEmpty() && last.previous().isValid()) last = last.previous();
  if (last.text() == QStringLiteral("-") && last.previous().isValid()) {
    QTextCursor c(doc);
    c.setPosition(last.previous().position() + last.previous().length() - 1);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
  }
  doc->setModified(false);
  QTextCursor top(doc);
  EditATX->setTextCursor(top);
}

std::unique_ptr<TTextChunk> TEditForm::TakeText() {
  QTextCursor c(EditATX->document());
  c.movePosition(QTextCursor::End);
  // The closing paragraph carries no formatting of the text before it.
  QTextBlockFormat plainBlock;
  QTextCharFormat plainChars;
  c.insertBlock(plainBlock, plainChars);
  c.insertText(QStringLiteral("-"));
  c.insertBlock(plainBlock, plainChars);
  auto chunk = std::make_unique<TTextChunk>(std::vector<std::string>{});
  Streamer.SaveControl(*chunk);
  EditATX->ResetContents();
  return chunk;
}

void TEditForm::accept() {
  try {
    FieldToInt16(MarkNE->text());
    FieldToInt16(TimeNE->text());
  } catch (const EConvertError& error) {
    ReportCommandError(error);
    return;
  }
  QDialog::accept();
}

void TEditForm::EditEntryText() {
  EditATX->ResetContents();
  TDocLogic* doc = App.CurrentDocument();
  auto* entry = dynamic_cast<TDocContent*>(App.SelectedItem());
  if (doc == nullptr || entry == nullptr || entry->Segment == nullptr) return;
  TTextSegment* segment = entry->Segment;
  DescriptionE->setText(AnsiToQt(segment->GetName()));
  MarkNE->setText(QString::number(segment->Marks));
  TimeNE->setText(QString::number(segment->Time));
  NumberedCB->setChecked(entry->Numbered);
  if (segment->Chunk != nullptr) LoadText(*segment->Chunk);
  UpdateButtons();

  if (exec() != QDialog::Accepted) return;
  std::unique_ptr<TTextChunk> chunk = TakeText();
  const int index = App.CurrentIndex();
  const TListRef list = App.CurrentList();
  // Nothing may keep the old entry selected: replacing a library entry frees it.
  App.SetSelection({}, nullptr);
  const std::int16_t marks = FieldToInt16(MarkNE->text());
  const std::int16_t time = FieldToInt16(TimeNE->text());
  doc->ReplaceText(index, QtToAnsi(DescriptionE->text()), NumberedCB->isChecked(), std::move(chunk), time, marks);
  App.SelectItem(list.ItemAt(index), list, true);
}

void TEditForm::InsertNewText() {
  EditATX->ResetContents();
  TDocLogic* doc = App.CurrentDocument();
  if (doc == nullptr) return;
  DescriptionE->clear();
  MarkNE->setText(QStringLiteral("0"));
  TimeNE->setText(QStringLiteral("0"));
  NumberedCB->setChecked(false);
  UpdateButtons();

  if (exec() != QDialog::Accepted) return;
  std::unique_ptr<TTextChunk> chunk = TakeText();
  const std::int16_t marks = FieldToInt16(MarkNE->text());
  const std::int16_t time = FieldToInt16(TimeNE->text());
  doc->InsertText(-1, QtToAnsi(DescriptionE->text()), NumberedCB->isChecked(), std::move(chunk), time, marks);
}

void TEditForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  DescriptionE->setFocus();
}

void TEditForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int cw = width(), ch = height();
  int x = 0;
  for (QToolButton* b : {StyleB, FontB, BoldB, ItalicB, UnderlineB, LeftB, CenterB, RightB, InsertPicB, SuperB, SubB, CutB,
                         CopyB, PasteB}) {
    const int w = std::max(24, b->sizeHint().width());
    b->setGeometry(x, 0, w, 24);
    x += w + ((b == FontB || b == UnderlineB || b == RightB || b == SubB) ? 8 : 1);
  }
  ToolBar->setGeometry(8, 4, cw - 16, 26);
  DescriptionL->setGeometry(8, 38, 84, 22);
  DescriptionE->setGeometry(94, 36, std::max(60, cw - 102), 24);
  MarkL->setGeometry(8, 66, 84, 22);
  MarkNE->setGeometry(94, 64, 56, 24);
  TimeL->setGeometry(162, 66, 86, 22);
  TimeNE->setGeometry(250, 64, 56, 24);
  MinL->setGeometry(310, 66, 30, 22);
  NumberedCB->setGeometry(350, 64, 110, 24);
  EditATX->setGeometry(8, 92, cw - 16, ch - 124);
  const int client = EditATX->width() - 2 * EditATX->frameWidth();
  OkB->setGeometry(client - 177, ch - 29, 80, 25);
  CancelB->setGeometry(cw - 89, ch - 29, 80, 25);
}

}  // namespace hv
