#include "conversations/RichTranscript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QFile>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <sstream>
#include <vector>

#include "conversations/ConversationParts.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptWriter.h"
#include "core/Widgets_helpers.h"
#include "editor/QuillRichEdit.h"
#include "platform/Charset.h"
#include "platform/Clipboard.h"
#include "platform/EventLoop.h"
#include "resources/Resources.h"

namespace {

using namespace quill;

// Writes down the height of each paint of a control's rows, and runs a call
// as a posted event of the lowest priority: after a held redraw posted
// before it, ahead of the paint that redraw asks for.
class TPaintProbe : public QObject {
 public:
  explicit TPaintProbe(QWidget* rows) { rows->installEventFilter(this); }
  std::vector<int> painted;
  void PostLate(std::function<void()> call) {
    late_ = std::move(call);
    QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::LowEventPriority);
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted.push_back(static_cast<QPaintEvent*>(e)->region().boundingRect().height());
    return false;
  }
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    late_();
    return true;
  }

 private:
  std::function<void()> late_;
};

// A damaged picture file leaves its place empty; the message is written whole.
TEST(RichTranscript, ADamagedPictureFileDoesNotCutTheMessage) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  ASSERT_TRUE(QDir(home.path()).mkdir("Icons"));
  QFile bad(home.filePath("Icons/2.bmp"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("BM this is no picture");
  bad.close();
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  platform::TFont font{"DejaVu Sans", 0, 10};
  TTranscriptWriter(*control.Transcript, font, platform::FromQString(home.path()) + "/Icons\\")
      .WriteMessage("Ann", "1:05 PM", "oops :P and on");
  auto& edit = dynamic_cast<TCustomQuillRichEdit&>(*control.Widget);
  EXPECT_NE(edit.Lines().Get(edit.Lines().Count() - 1).find("and on"), std::string::npos);
}

// Messages written the way every window writes them, then read back as the
// user meets them: each run's looks, the pictures, the saved file, the
// clipboard, and what cutting and typing do.
TEST(RichTranscript, ShowsMessagesAsWrittenAndSavesThemAsText) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  ASSERT_TRUE(QDir(home.path()).mkdir("Icons"));
  ASSERT_TRUE(resources::Emoticon(1).save(home.filePath("Icons/1.bmp"), "BMP"));
  const std::string icons = platform::FromQString(home.path()) + "/Icons\\";  // as the windows name it
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  TTranscript& t = *control.Transcript;
  auto& edit = dynamic_cast<TCustomQuillRichEdit&>(*control.Widget);

  platform::TFont ann{"DejaVu Sans", 0x0000FF, 12}, bob{"DejaVu Serif", 0x800000, 9, false, true};
  // ":)" has a picture in the folder, ":-)" has none.
  TTranscriptWriter(t, ann, icons).WriteMessage("Ann", "1:05 PM", "hi :) x :-) see http://a.org/x\r\n");
  TTranscriptWriter(t, bob, icons).WriteMessage("Bob", "1:06 PM", "caf\xe9 go http://b.org now");
  EXPECT_TRUE(t.GetModified());

  // A picture is one character where its code was; a missing file gives an empty one.
  ASSERT_EQ(edit.Lines().Get(1), "hi \x01 x \x01 see http://a.org/x");
  const auto* face = edit.FindObject(edit.Lines().GetData(1, 4));
  const auto* missing = edit.FindObject(edit.Lines().GetData(1, 8));
  ASSERT_TRUE(face != nullptr && missing != nullptr);
  EXPECT_EQ(face->GetImage()->size(), resources::Emoticon(1).size());
  EXPECT_TRUE(missing->GetImage() == nullptr || missing->GetImage()->isNull());

  struct Run {
    int column, line, size;
    TColor color;
    TFontStyles style;
  };
  const Run runs[] = {{0, 0, 12, 0x0000FF, fsBold},  {20, 1, 12, 0x0000FF, 0},  // no link beside a picture
                      {1, 2, 9, 0x800000, fsBold | fsItalic},                   // header in the sender's font
                      {1, 3, 9, 0x800000, fsItalic},  {10, 3, 9, 0x800000, fsItalic | fsUnderline},
                      {21, 3, 9, 0x800000, fsItalic}};
  for (const Run& r : runs) {
    SCOPED_TRACE(std::to_string(r.line) + ":" + std::to_string(r.column));
    TQuillEditorAttributes a;
    edit.GetAttribute({r.column, r.line}, a);
    EXPECT_EQ(a.Name(), r.size == 12 ? "DejaVu Sans" : "DejaVu Serif");
    EXPECT_EQ(a.Size(), r.size);
    EXPECT_EQ(a.Color(), r.color);
    EXPECT_EQ(a.Style(), r.style);
  }
  // The appends keep no undo memory.
  EXPECT_EQ(edit.GetEditSource().UndoList().Count(), 0);

  // Saved for the user: UTF-8 lines, the pictures (found or not) left out.
  const std::string text = "Ann (1:05 PM)\r\nhi  x  see http://a.org/x\r\nBob (1:06 PM)\r\ncaf\xe9 go http://b.org now";
  const std::string saved =
      "Ann (1:05 PM)\nhi  x  see http://a.org/x\nBob (1:06 PM)\ncaf\xc3\xa9 go http://b.org now\n";
  EXPECT_EQ(TranscriptFileText(t), saved);
  t.SetModified(false);
  EXPECT_EQ(t.GetTextLen(), static_cast<int>(text.size()) + 2);

  // Copied as the same text with this desktop's line breaks, and no rich
  // form; no key that reaches the control changes it, whatever it is bound
  // to: Ctrl+X only copies.
  EXPECT_FALSE(t.CanCopy());
  t.SelectAll();
  ASSERT_TRUE(t.CanCopy());
  platform::SetClipboardText("pasted");
  const QKeyCombination keys[] = {Qt::Key_Delete,       Qt::Key_Backspace,        Qt::Key_Return,
                                  Qt::Key_X,            Qt::CTRL | Qt::Key_V,     Qt::SHIFT | Qt::Key_Insert,
                                  Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_X};
  for (QKeyCombination key : keys) {
    QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers(), key == QKeyCombination(Qt::Key_X) ? "x" : "");
    QCoreApplication::sendEvent(control.Widget, &press);
  }
  std::string lf = text;
  for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  EXPECT_EQ(platform::ClipboardText(), lf);
  // The keys bound to an edit do not even move the caret around it.
  edit.GetEditSource().JumpTo(3, 1);
  const QKeyCombination edits[] = {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Tab, Qt::CTRL | Qt::Key_N,
                                   Qt::CTRL | Qt::Key_Y, Qt::Key_Q, Qt::SHIFT | Qt::Key_Delete};
  for (QKeyCombination key : edits) {
    QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers(), key == QKeyCombination(Qt::Key_Q) ? "q" : "");
    QCoreApplication::sendEvent(control.Widget, &press);
    EXPECT_EQ(edit.GetCurrentPosition(), (TPoint{3, 1})) << key.key();
  }
  EXPECT_FALSE(platform::ClipboardHasFormat(platform::kRichTextFormat));
  EXPECT_EQ(TranscriptFileText(t), saved);
  EXPECT_FALSE(t.GetModified());
  // What the program writes while a key is handled (from a dialog the key
  // opened) goes in; the Edit menu's Cut takes the text out.
  t.SetSelStart(t.GetTextLen());
  edit.OnKeyDown = [&](TQuillObject*, int&, TShiftState) { t.SetSelText(" meanwhile"); };
  QKeyEvent q(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
  QCoreApplication::sendEvent(control.Widget, &q);
  EXPECT_TRUE(TranscriptFileText(t).ends_with("now meanwhile\n"));
  t.SelectAll();
  t.CutToClipboard();
  EXPECT_EQ(t.GetTextLen(), 0);
}

// A peer may send one line as long as the link takes, full of codes and
// addresses: thousands of runs in one paragraph. Laying the paragraph out
// after each run made such a message freeze the window for many seconds, so
// the control hears of the message once, when it is whole; and it still
// lands where it belongs, with the next message after it.
TEST(RichTranscript, LaysOutAMessageOnceHoweverManyRunsItHas) {
  testing_support::WidgetApp();
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  TTranscript& t = *control.Transcript;
  auto& edit = dynamic_cast<TCustomQuillRichEdit&>(*control.Widget);
  struct Counter : TQuillObject {
    int layouts = 0;
    void Changed(TQuillObject*, intptr_t param) { layouts += param == 0; }
  } counter;
  edit.GetEditSource().RegisterNotifier(NotifyEvent<&Counter::Changed>(&counter));

  std::string text;
  for (int i = 0; i < 2000; ++i) text += i % 2 ? ":) " : "http://a.org/" + std::to_string(i) + " ";
  platform::TFont font;
  WriteTranscriptMessage(t, font, "", "Bob", "1:00 PM", text + "\r\n");
  EXPECT_EQ(counter.layouts, 1);
  WriteTranscriptMessage(t, font, "", "Ann", "1:01 PM", "next\r\n");
  EXPECT_EQ(counter.layouts, 2);
  edit.GetEditSource().UnRegisterNotifier(NotifyEvent<&Counter::Changed>(&counter));

  ASSERT_EQ(edit.Lines().Count(), 5);
  const std::string body = edit.Lines().Get(1);
  EXPECT_EQ(std::count(body.begin(), body.end(), '\x01'), 1000);
  EXPECT_EQ(body.substr(0, 19), "http://a.org/0 \x01 ht");
  EXPECT_EQ(edit.Lines().Get(2), "Ann (1:01 PM)");
  EXPECT_EQ(edit.Lines().Get(3), "next");
}

// Each message redraws only the rows it changed, the rows above it moved up
// as they are, and the scroll bar only when it looks different; what is on
// the screen after every turn of the event loop must still be the transcript
// as it would be drawn afresh, with the bar at its end: with pictures, with
// the caret shown, with a selection of the user's going, with the window
// painted in the middle of a turn. A message written after the last one's
// rows were moved, before they were painted (the own text sent as the peer's
// is shown), is painted with it, once and not whole.
TEST(RichTranscript, ScreenAfterEachMessageIsTheTranscriptDrawnAfresh) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  ASSERT_TRUE(QDir(home.path()).mkdir("Icons"));
  ASSERT_TRUE(resources::Emoticon(1).save(home.filePath("Icons/1.bmp"), "BMP"));
  const std::string icons = platform::FromQString(home.path()) + "/Icons\\";
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  auto& edit = dynamic_cast<TCustomQuillRichEdit&>(*control.Widget);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(control.Widget);
  TPaintProbe probe(edit.viewport());
  window.resize(220, 300);
  window.show();
  ASSERT_TRUE(platform::ProcessMessagesUntil(
      [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); }, 5000));
  platform::TFont font;
  // The focus elsewhere first, as while the user types; then in the
  // transcript, with its caret, after a selection.
  control.Widget->clearFocus();
  for (int i = 0; i < 60; ++i) {
    if (i == 30) {
      control.Widget->setFocus();
      edit.SetSelStart(40);
      edit.SetSelLength(30);
    }
    // Runs of one or several messages in a turn; some long enough to wrap.
    const auto write = [&] {
      WriteTranscriptMessage(*control.Transcript, font, icons, "Ann", "1:05 PM",
                             "line " + std::to_string(i) + (i % 4 == 1 ? " :-) " : " ") +
                                 std::string(static_cast<std::size_t>(i % 7) * 9, 'w'));
    };
    probe.painted.clear();
    for (int k = 0; k <= i % 3; ++k) write();
    const bool late = i % 2 == 1;
    if (late) probe.PostLate(write);
    if (i % 5 == 4) edit.viewport()->repaint();
    platform::ProcessMessages();
    // The late message's redraw and paint are the turns after.
    if (late) platform::ProcessMessages();
    if (late && i > 10 && i < 30 && i % 3 != 2 && i % 5 != 4) {
      ASSERT_EQ(probe.painted.size(), 1u) << "after message " << i;
      EXPECT_LT(probe.painted[0], edit.viewport()->height()) << "after message " << i;
    }
    const QScrollBar& bar = *edit.verticalScrollBar();
    ASSERT_EQ(bar.value(), edit.WindowLine()) << "after message " << i;
    if (i > 10) {
      ASSERT_TRUE(bar.value() > 0 && bar.value() == bar.maximum()) << "after message " << i;
    }
    if (i >= 30) {
      // The caret blinks at the end of the text, on its last row.
      const QList<QWidget*> carets = edit.viewport()->findChildren<QWidget*>();
      ASSERT_EQ(carets.size(), 1);
      const TPoint end = edit.TextToPixelPoint(edit.GetCurrentPosition(), false);
      ASSERT_TRUE(carets[0]->isVisible() && carets[0]->x() == end.X && carets[0]->y() >= end.Y &&
                  carets[0]->geometry().bottom() < edit.viewport()->height())
          << "after message " << i;
    }
    const QImage shown = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), fresh.size());
    ASSERT_TRUE(shown == fresh) << "after message " << i;
  }
}

// Long peer lines are shown in time linear in their length; what the user
// sees of them is what the first, slower road showed: the text's looks, its
// rows and runs, where the view stands, the caret and the painted pixels,
// after each message of a table (digests as that road gave them).
TEST(RichTranscript, ShowsLongPeerLinesAsBefore) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  for (int n : {1, 6})
    ASSERT_TRUE(resources::Emoticon(n).save(home.filePath(QString("%1.bmp").arg(n)), "BMP"));
  const std::string icons = platform::FromQString(home.path()) + "/";
  QWidget window;
  window.resize(594, 430);
  const TTranscriptControl control = MakeRichTranscript(&window);
  control.Widget->setGeometry(8, 8, 460, 260);
  window.show();
  auto& edit = dynamic_cast<TCustomQuillRichEdit&>(*control.Widget);

  auto digest = [&] {
    std::ostringstream out;
    for (int line = 0; line < edit.Lines().Count(); ++line) {
      const std::string text = edit.Lines().Get(line);
      out << text << '\n';
      const TQuillData data = edit.Lines().GetStrData(line);
      for (std::size_t i = 0; i < data.size(); ++i) {
        // A picture's word numbers it in the object table, not in this one.
        const TQuillEditorAttributes* a =
            i < text.size() && text[i] == kObjectCharacter ? nullptr : edit.GetFontManager().GetItem(data[i]);
        out << (a != nullptr ? a->Style() * 1000 + a->Size() : -1) << ',';
      }
    }
    TQuillRichPainter& painter = edit.RichPainter();
    for (int r = 0; r < edit.WrapList().Count(); ++r) {
      const TQuillRichWrapRecord& row = *painter.RichRow(r);
      out << row.Line << ':' << row.Start << '-' << row.End << ',' << row.Info.Height << '[';
      // A picture by its file: which entry of the table holds it is the control's affair.
      for (const TQuillLineInfo& run : row.Runs) {
        const TQuillEditorObject* picture = edit.FindObject(run.Object);
        out << run.End << ',' << run.Width << ',' << (picture != nullptr ? picture->ObjectName : "-") << ';';
      }
      out << "]\n";
    }
    const TPoint caret = edit.GetCurrentPosition();
    out << caret.X << ',' << caret.Y << ' ' << edit.CaretAtRowEnd() << ' ' << edit.WindowLine() << ','
        << edit.WindowChar() << ' ' << static_cast<int>(edit.SelType()) << ' ' << edit.GetSelStart() << ','
        << edit.GetSelLength();
    QImage image(edit.viewport()->size(), QImage::Format_RGB32);
    edit.viewport()->render(&image, {}, {}, QWidget::DrawWindowBackground);
    out.write(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : out.str()) hash = (hash ^ c) * 1099511628211ull;
    return hash;
  };

  std::string word, words, links, mail, faces;
  for (int i = 0; i < 3000; ++i) word += static_cast<char>('a' + i * 7 % 26);
  for (int i = 0; i < 500; ++i) words += std::string(1 + i % 8, static_cast<char>('k' + i % 11)) + ' ';
  for (int i = 0; i < 80; ++i) links += "see http://a.org/" + std::to_string(i) + (i % 2 ? " " : "\r");
  for (int i = 0; i < 80; ++i) mail += "mailto:p" + std::to_string(i) + "@q.org ";
  for (int i = 0; i < 150; ++i) faces += i % 4 ? "hi :) " : ";)~x$->9 \x01:-)";
  const struct {
    std::string text;
    uint64_t digest;
  } messages[] = {
      {word + "\r\n", 8206649126247644979ull},
      {words + "\r\n", 12947205522972357212ull},
      {links + "\r\n", 3745509149076019976ull},
      {mail + "then http://z.org/\r\n", 2790406263642081164ull},
      {faces + "\r\n", 14544962672592900797ull},
      {"hi\r\n", 1930917283693597451ull},
  };
  platform::TFont font{"DejaVu Sans", 0x0000C0, 10};
  for (const auto& m : messages) {
    SCOPED_TRACE(m.text.substr(0, 20));
    WriteTranscriptMessage(*control.Transcript, font, icons, "Bob", "1:00 PM", m.text);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    EXPECT_EQ(digest(), m.digest);
  }
}

// A font set again takes the entry it took before, unmerged: it must be the
// one the control's own road gives there, after a header, a picture, a link,
// another background, and once the table was emptied and refilled.
TEST(RichTranscript, FontsSetAgainTakeTheEntrySettingThemAfreshGives) {
  testing_support::WidgetApp();
  QTemporaryDir home;
  ASSERT_TRUE(resources::Emoticon(1).save(home.filePath("1.bmp"), "BMP"));
  QWidget window;
  const TTranscriptControl control = MakeRichTranscript(&window);
  TTranscript& t = *control.Transcript;
  auto& edit = dynamic_cast<TCustomQuillRichEdit&>(*control.Widget);
  TCustomQuillRichEditSource& doc = edit.RichEditSource();
  const auto put = [&](platform::TFont font, bool bold, bool link, const std::string& text) {
    font.Bold |= bold;
    font.Underline = link;
    t.GetSelAttributes().Assign(font);
    const std::uint16_t given = doc.InsertAttribute();
    edit.GetSelAttributes().Assign(font);
    EXPECT_EQ(given, doc.InsertAttribute()) << text;
    t.SetSelText(text);
    t.SetSelLength(0);
  };
  const auto mark = [&](const char* text, TColor background) {
    edit.GetSelAttributes().SetBkColor(background);
    edit.SetSelText(text);
  };
  const platform::TFont sides[] = {{"DejaVu Sans", 0x0000FF, 12}, {"DejaVu Serif", 0x800000, 9, false, true},
                                   {"DejaVu Sans", 0x0000FF, 12, true}};
  for (int i = 0; i < 40; ++i) {
    if (i == 20) doc.Clear();
    t.SetSelStart(t.GetTextLen());
    if (i % 10 == 5) mark(i == 15 ? "mark\r\n" : "mark", 0x00FFFF - i);
    const platform::TFont& side = sides[i < 20 ? i % 3 : 2 - i % 3];
    put(side, true, false, "name (1:00 PM)\r\n");
    put(side, false, false, "a ");
    t.InsertImageFromFile(platform::FromQString(home.filePath("1.bmp")));
    put(side, false, i % 2 == 1, "http://x.org/\r\n");
  }
  // The font after the first entry, before and after the table is emptied.
  doc.Clear();
  put(sides[0], true, false, "h\r\n");
  put(sides[0], false, false, "b");
  doc.Clear();
  mark("m", 0x00FF00);
  mark("n", 0xFF0000);
  t.SetSelStart(1);
  put(sides[0], false, false, "t");
}

}  // namespace
