#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <initializer_list>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// What the small dialogs share: their two colours, the framed panel they draw,
// and the passage of memo text between the widgets and the program's 8-bit
// text, whose line breaks are CR LF as they travel and are stored.
namespace dialoglook {

// The form background and the panels and frames drawn on it.
inline QColor FormColour() { return QColor(0x00, 0x61, 0x96); }
inline QColor PanelColour() { return QColor(0xB0, 0xC4, 0xDE); }
// The frame of a room window's list column and of the invitation's panel.
inline QColor SkyColour() { return QColor(0xA6, 0xCB, 0xF0); }
// Greyed-out text: at least 3:1 against the panels, the light fields and the
// buttons, where the style's own light grey all but vanishes on the panels.
inline QColor DisabledTextColour() { return QColor(0x55, 0x55, 0x55); }

// Paints its background as a rectangle with 4 x 4 corner arcs, 3 pixels inside
// its own box, in the given colour; the children sit on top.
class TFramePanel : public QWidget {
 public:
  explicit TFramePanel(QColor colour, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QColor colour_;
};

// Colours a dialog's background, and its disabled text so that it stays readable.
void ColourForm(QWidget* form, const QColor& colour = FormColour());
// A dialog's border: the size its layout gives it, no more and no less,
// with only a close button; its text in the font family named.
void DialogBorder(QWidget* form, const char* fontFamily);
// A shown value's box: the label's background in that colour.
void ColourLabel(QLabel* label, const QColor& colour);
// Lays a dialog out as its panel over one row of buttons: `left` at the left
// edge, `right` at the right, the room between them left empty.
void PanelOverButtons(QWidget* form, QWidget* panel, std::initializer_list<QWidget*> left,
                      std::initializer_list<QWidget*> right);
// Puts a window in the middle of its screen's free area.
void CentreOnScreen(QWidget* form);

// Text from another program as a label or title shows it: cut to `limit`
// bytes (CutPeerText), and with a place to break a line after every few
// characters of a run without blanks, so that no name or text a peer
// chooses can widen a word-wrapped label, and with it the window, past its
// designed size.
QString PeerText(const std::string& text, std::size_t limit);
// The same for a text of the program's own that holds peer text already cut.
QString BreakableText(const QString& text);

// 8-bit text with CR LF (or lone CR or LF) line breaks to a memo's text, and back
// with CR LF breaks.
QString MemoFromText(const std::string& text);
std::string TextFromMemo(const QString& memo);
// TextFromMemo(memo).size(), without making the text: the input's count
// follows every change of it.
std::size_t TextFromMemoSize(const QString& memo);

// A one-line note for under an input whose text goes out as 8-bit text: it
// says in a plain sentence which typed characters cannot go (they would
// arrive as "?") and hides while there are none.
QLabel* MakeCharsetNote(QPlainTextEdit* input);
QLabel* MakeCharsetNote(QLineEdit* input);
// One note for a form of several inputs (line edits and memos): it names what
// any of them holds that cannot go.
QLabel* MakeCharsetNote(QWidget* parent, std::initializer_list<QWidget*> inputs);
// The same note left for its owner to bring up to date with ShowCharsetNote,
// for an owner that reads the input's text at each change anyway.
QLabel* NewCharsetNote(QWidget* parent);
void ShowCharsetNote(QLabel* note, const QString& text);

// A name that identifies something (a user, a profile, a room, a group) is
// refused, not sent or kept with "?" in it: the sentence that says which of
// its characters cannot be used, empty when it can be carried. `what` is the
// kind of name, as "user name".
QString NameRefusal(const QString& what, const QString& name);
// NameRefusal as 8-bit text for a message hook that shows its text through
// platform::ShownQString: the characters named stay as they were typed.
std::string NameRefusalText(const QString& what, const QString& name);
// Refuses a name that cannot be carried in a box over `asker`, with
// `caption`, and gives the input (when one is named) the focus. True when it
// was refused.
bool RefuseName(QWidget* asker, const QString& caption, const QString& what, const QString& name,
                QWidget* input = nullptr);
// A note under a name input that says, while the name holds characters that
// cannot be used, that it will be refused.
QLabel* MakeNameNote(QLineEdit* input, const QString& what);

}  // namespace dialoglook
