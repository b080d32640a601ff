#pragma once
// The text editor for the free texts of test documents.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

#include "TextStreamer.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class TTXTextControl;

namespace hv {

class TAppLogic;
class TTextChunk;

inline constexpr const char* kInsertPictureCaption = "Insert Picture";
// Bitmaps and metafiles as before, and the PNG and JPEG pictures cameras and screenshots give.
inline constexpr const char* kInsertPictureFilter =
    "Graphics Files (*.BMP; *.WMF; *.PNG; *.JPG)|*.bmp;*.BMP;*.wmf;*.WMF;*.png;*.PNG;*.jpg;*.JPG;*.jpeg;*.JPEG";

// The 16-bit number a mark or time field holds; raises EConvertError with
// "'<text>' is not a valid integer value" for anything else, out-of-range values included.
std::int16_t FieldToInt16(const QString& text);

// A modal dialog in which the teacher writes a free text, or rewrites an entry's text, with its
// description, marks, time and numbering. What it saves is always a text the document owns: a
// library entry becomes an owned copy at the same index, and the library itself is never changed.
class TEditForm : public QDialog {
  Q_OBJECT
public:
  explicit TEditForm(TAppLogic& app, QWidget* parent = nullptr);
  ~TEditForm() override;

  // Edits the selected entry of the current document, which must be the current item of the
  // document's entry list.
  void EditEntryText();
  // Writes a new free text and appends it to the current document.
  void InsertNewText();

  // Inserts a PNG, JPEG, BMP or WMF file at the caret; raises EInOutError when it is unreadable
  // or not a picture.
  void InsertPicture(const QString& fileName);

  QLineEdit *DescriptionE, *MarkNE, *TimeNE;
  QCheckBox* NumberedCB;
  TTXTextControl* EditATX;
  QPushButton *OkB, *CancelB;
  QWidget* ToolBar;
  QMenu* StyleM;
  QToolButton *StyleB, *FontB, *BoldB, *ItalicB, *UnderlineB, *LeftB, *CenterB, *RightB, *InsertPicB, *SuperB, *SubB,
      *CutB, *CopyB, *PasteB;

public slots:
  // OK closes the dialog only when the marks and time are whole numbers; otherwise the conversion
  // error is shown and the text stays open for correcting.
  void accept() override;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  QToolButton* AddButton(const char* name, const char* hint, const char* text);
  void UpdateButtons();
  void ApplyStyle(int style);
  void SetVerticalAlignment(bool super, bool on);
  // Loads a text without its closing "-" paragraph, which the editor keeps out of sight.
  void LoadText(TTextChunk& chunk);
  // The control's text as a new chunk, its closing "-" paragraph put back; empties the control.
  std::unique_ptr<TTextChunk> TakeText();

  TAppLogic& App;
  TTextStreamer Streamer;
  QLabel *DescriptionL, *MarkL, *TimeL, *MinL;
};

}  // namespace hv
