// The transcript windows' road for 100,000 chat messages, as they write
// each one: caret to the end, a bold coloured header line in the selection
// attributes, the message text in the sender's font, an emoticon picture,
// and the line break. Prints the time per message over the first and the
// last ten thousand (a message must not get dearer as the transcript grows)
// and the heap bytes each message keeps, beside QTextEdit appending the same
// formatted messages with the same pictures in the same run.
//
// Then single long lines, as an authorized chat peer may send them (the
// private chat takes lines up to 64 KiB), through the chat window's own road
// (the transcript control and writer, the message drawn once it is all
// there) in a window of a chat window's size: one word without blanks, many
// short words, many web or mail links, many emoticon codes among words, faces
// alone (thousands of pictures in a row). Each kind is appended until
// the transcript's bound has cut it once; the time per line (first, mean,
// worst) is printed against 64-byte lines appended 1,000 times, per byte.
// "--long N" appends N lines of each kind and skips the 100,000 messages.
//
// Last, what a window's transcript holds on the heap for such lines, each
// kind appended well past the window's bound: the heap a line of each unit
// (character, face, line break) took, against what the bound counts for it,
// and the window's peak and what it keeps, against the goal of 16 MB a
// window (sixteen windows within 256 MB). "--memory" runs this part alone.
#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "conversations/ConversationParts.h"
#include "conversations/Emoticons.h"
#include "conversations/RichTranscript.h"
#include "conversations/Transcript.h"
#include "conversations/TranscriptBound.h"
#include "core/session/PeerBounds.h"
#include "editor/QuillRichEdit.h"
#include "platform/EventLoop.h"

namespace {

constexpr int kMessages = 100000;
constexpr int kBucket = 10000;
constexpr int kWidth = 600, kHeight = 400;

struct Message {
  std::string Name, Time, Text;
  int Picture = 0;  // 1..kPictures
  platform::TColor Color = 0;
};

constexpr int kPictures = 8;

std::vector<Message> MakeMessages() {
  static const char* words[] = {"hello", "there", "how", "are", "you", "today", "see", "the", "file", "arrived",
                                "ok", "Sure,", "why", "not", "tomorrow", "pictures", "lovely", "thanks"};
  static const char* names[] = {"Ann", "Bob", "Carla", "Dev"};
  std::mt19937 rng(11);
  std::vector<Message> out(kMessages);
  for (auto& m : out) {
    const int who = static_cast<int>(rng() % std::size(names));
    m.Name = names[who];
    m.Color = who % 2 == 0 ? 0x0000C0 : 0xC00000;
    m.Time = std::to_string(1 + rng() % 12) + ":" + std::to_string(10 + rng() % 50) + " PM";
    const int n = 3 + static_cast<int>(rng() % 20);
    for (int i = 0; i < n; ++i) {
      if (i) m.Text += ' ';
      m.Text += words[rng() % std::size(words)];
    }
    m.Text += ' ';
    m.Picture = 1 + static_cast<int>(rng() % kPictures);
  }
  return out;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

size_t HeapInUse() { return mallinfo2().uordblks; }

struct Figures {
  double firstMicros = 0, lastMicros = 0, bytesPerMessage = 0;
};

Figures Run(const std::vector<Message>& messages, const std::function<void(const Message&)>& append) {
  Figures f;
  const size_t heap = HeapInUse();
  auto bucket = std::chrono::steady_clock::now();
  for (int i = 0; i < kMessages; ++i) {
    if (i == kBucket) f.firstMicros = Seconds(bucket) * 1e6 / kBucket;
    if (i == kMessages - kBucket) bucket = std::chrono::steady_clock::now();
    append(messages[static_cast<size_t>(i)]);
    // The window paints now and then, as a busy chat is shown.
    if (i % 100 == 99) QApplication::processEvents();
  }
  f.lastMicros = Seconds(bucket) * 1e6 / kBucket;
  QApplication::processEvents();
  f.bytesPerMessage = static_cast<double>(HeapInUse() - heap) / kMessages;
  return f;
}

// ----- long lines ---------------------------------------------------------------

constexpr std::size_t kLongLine = 64 * 1024;
constexpr std::size_t kShortLine = 64;
constexpr int kShortLines = 1000;
// A line is shown well within a frame's patience: the program stays usable
// however long the lines a peer sends.
constexpr double kGoalMs = 100;

std::string Repeated(const std::string& unit, std::size_t size) {
  std::string out;
  while (out.size() < size) out += unit;
  out.resize(size);
  return out;
}

std::string OneWord(std::size_t size) {
  std::string out(size, 'a');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + i * 7 % 26);
  return out;
}

// A chat window with its transcript, at the size such a window opens with.
struct ChatWindow {
  ChatWindow() {
    window.resize(594, 430);
    control = MakeRichTranscript(&window);
    control.Widget->setGeometry(8, 8, 460, 260);
    window.show();
    QApplication::processEvents();
  }
  // A line as the chat hands it over, with its line break.
  double Append(const std::string& line) {
    const std::string text = line + "\r\n";
    const auto start = std::chrono::steady_clock::now();
    WriteTranscriptMessage(*control.Transcript, font, icons, "Peer", "9:41 PM", text);
    QApplication::processEvents();
    return Seconds(start) * 1e3;
  }
  QWidget window;
  TTranscriptControl control;
  platform::TFont font;
  std::string icons;
};

struct LongFigures {
  double firstMs = 0, meanMs = 0, worstMs = 0;
};

LongFigures AppendLong(const std::string& icons, const std::string& text, int count) {
  ChatWindow chat;
  chat.icons = icons;
  LongFigures f;
  for (int i = 0; i < count; ++i) {
    const double ms = chat.Append(text);
    if (i == 0) f.firstMs = ms;
    f.meanMs += ms / count;
    f.worstMs = std::max(f.worstMs, ms);
  }
  return f;
}

void LongLines(const std::string& icons, int count) {
  double shortMs = 0;
  {
    ChatWindow chat;
    chat.icons = icons;
    const std::string line = Repeated("hello there how are you ", kShortLine);
    for (int i = 0; i < kShortLines; ++i) shortMs += chat.Append(line) / kShortLines;
  }
  const double shortPerByte = shortMs / kShortLine;
  std::printf("\nlines of %zu bytes, %d of each kind, through the chat window's road\n", kLongLine, count);
  std::printf("baseline: %d lines of %zu bytes, %.3f ms/line\n", kShortLines, kShortLine, shortMs);
  std::printf("goal: every line under %.0f ms (first, mean and worst)\n", kGoalMs);
  std::printf("%-22s %9s %9s %9s %14s  %s\n", "kind", "first ms", "mean ms", "worst ms", "per-byte ratio", "goal");
  const struct {
    const char* name;
    std::string text;
  } kinds[] = {
      {"one word, no blanks", OneWord(kLongLine)},
      {"short words", Repeated("ok so we go now and then ", kLongLine)},
      {"web links", Repeated("see http://example.org/a/b?c=d ", kLongLine)},
      {"mail links", Repeated("mailto:ann@example.org ", kLongLine)},
      {"emoticon codes", Repeated("hi :) ", kLongLine)},
      {"faces in a row", Repeated(":)", kLongLine)},
  };
  bool met = true;
  for (const auto& kind : kinds) {
    const LongFigures f = AppendLong(icons, kind.text, count);
    const double ratio = f.meanMs / kLongLine / shortPerByte;
    const bool ok = f.worstMs < kGoalMs;
    met = met && ok;
    std::printf("%-22s %9.1f %9.1f %9.1f %14.4f  %s\n", kind.name, f.firstMs, f.meanMs, f.worstMs, ratio,
                ok ? "met" : "NOT met");
  }
  std::printf("goal %s\n", met ? "met" : "NOT met");
}


// ----- memory -------------------------------------------------------------------

size_t HeapHeld() {
  const auto m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

constexpr double kWindowGoalMb = 16;

void Memory(const std::string& icons) {
  using B = TTranscriptBound;
  const struct {
    const char* name;
    std::string unit;
    int units;    // of the counted kind in the unit
    int counted;  // what the bound counts for one
  } kinds[] = {
      {"words (per character)", "ok so we go now and then ", 25, B::kCharBytes},
      {"faces (per face)", ":)", 1, B::kCharBytes + B::kRunBytes},
      {"faces and words (per face)", "hi :) ", 1, 2 * B::kRunBytes + 4 * B::kCharBytes},
      {"mail links (per link)", "mailto:ann@x.org ", 1, 2 * B::kRunBytes + 17 * B::kCharBytes},
      {"line breaks (per line)", "\r\n", 1, B::kLineBytes + 2 * B::kCharBytes},
      {"short lines (per line)", "ab\r\n", 1, B::kLineBytes + B::kRunBytes + 4 * B::kCharBytes},
  };
  constexpr int kLines = 48;
  std::printf("\nheap of one window's transcript, %d lines of %zu bytes of each kind (bound %lld MB)\n", kLines,
              kLongLine, static_cast<long long>(peerbounds::kTranscriptBytes >> 20));
  std::printf("%-28s %10s %10s %9s %9s  %s\n", "kind", "heap/unit", "counted", "peak MB", "kept MB", "goal");
  bool met = true;
  for (const auto& kind : kinds) {
    const std::string line = Repeated(kind.unit, kLongLine);
    const double units = static_cast<double>(line.size() / kind.unit.size() * kind.units);
    ChatWindow chat;
    chat.icons = icons;
    const size_t before = HeapHeld();
    size_t first = 0, peak = 0;
    for (int i = 0; i < kLines; ++i) {
      chat.Append(line);
      peak = std::max(peak, HeapHeld());
      if (i == 0) first = HeapHeld();
    }
    const double peakMb = (peak - before) / 1e6, keptMb = (HeapHeld() - before) / 1e6;
    const bool ok = peakMb < kWindowGoalMb;
    met = met && ok;
    std::printf("%-28s %10.1f %10d %9.1f %9.1f  %s\n", kind.name, (first - before) / units, kind.counted, peakMb,
                keptMb, ok ? "met" : "NOT met");
  }
  std::printf("goal %s\n", met ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  platform::TEventLoopChoice loop;
  QApplication app(argc, argv);
  loop.Done();
  QTemporaryDir icons;
  for (int n = 1; n <= kPictures; ++n) {
    QImage face(19, 19, QImage::Format_RGB32);
    face.fill(Qt::white);
    QPainter p(&face);
    p.setBrush(QColor(255, 30 * n, 0));
    p.drawEllipse(0, 0, 18, 18);
    p.end();
    face.save(icons.filePath(QString("%1.bmp").arg(n)), "BMP");
  }
  auto picture = [&](int n) { return icons.filePath(QString("%1.bmp").arg(n)); };
  // Each kind until the bound has cut its transcript once.
  int longCount =
      static_cast<int>(peerbounds::kTranscriptBytes / TTranscriptBound::kCharBytes / static_cast<int>(kLongLine)) + 8;
  const bool longOnly = argc > 2 && std::strcmp(argv[1], "--long") == 0;
  if (longOnly) longCount = std::max(std::atoi(argv[2]), 1);
  if (argc > 1 && std::strcmp(argv[1], "--memory") == 0) {
    Memory(icons.path().toStdString() + "/");
    return 0;
  }
  if (longOnly) {
    LongLines(icons.path().toStdString() + "/", longCount);
    return 0;
  }
  const std::vector<Message> messages = MakeMessages();

  Figures ours;
  {
    quill::TQuillRichEdit transcript;
    transcript.resize(kWidth, kHeight);
    transcript.SetPlainText(true);
    transcript.SetWordWrap(true);
    transcript.SetScrollBars(quill::TScrollStyle::ssVertical);
    // As the windows set it up: writable, with no undo memory.
    transcript.SetSourceOptions(transcript.SourceOptions() & ~quill::srAllowUndo);
    transcript.show();
    quill::TQuillFont font;
    font.Name = "DejaVu Sans";
    font.Size = 10;
    ours = Run(messages, [&](const Message& m) {
      transcript.SetSelStart(transcript.GetTextLen());
      font.Style = quill::fsBold;
      font.Color = m.Color;
      transcript.GetSelAttributes().Assign(font);
      transcript.SetSelText(m.Name + " (" + m.Time + ")\r\n");
      transcript.SetSelLength(0);
      transcript.SetSelStart(transcript.GetTextLen());
      font.Style = 0;
      font.Color = 0x202020;
      transcript.GetSelAttributes().Assign(font);
      transcript.SetSelText(m.Text);
      transcript.SetSelLength(0);
      transcript.InsertImageFromFile(picture(m.Picture).toStdString());
      transcript.SetSelText("\r\n");
    });
  }

  Figures theirs;
  {
    QTextEdit text;
    text.resize(kWidth, kHeight);
    text.setReadOnly(true);
    text.show();
    QTextCharFormat header, body;
    header.setFontFamilies({"DejaVu Sans"});
    header.setFontPointSize(10);
    header.setFontWeight(QFont::Bold);
    body = header;
    body.setFontWeight(QFont::Normal);
    body.setForeground(QColor(0x20, 0x20, 0x20));
    theirs = Run(messages, [&](const Message& m) {
      QTextCursor cursor(text.document());
      cursor.movePosition(QTextCursor::End);
      const uint32_t bgr = static_cast<uint32_t>(m.Color);
      header.setForeground(QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
      cursor.insertText(QString::fromStdString(m.Name + " (" + m.Time + ")"), header);
      cursor.insertBlock();
      cursor.insertText(QString::fromStdString(m.Text), body);
      cursor.insertImage(picture(m.Picture));
      cursor.insertBlock();
      text.setTextCursor(cursor);
      text.ensureCursorVisible();
    });
  }

  std::printf("%d messages, each a header line, a text run, a picture and a line break\n", kMessages);
  std::printf("append, first %d messages (us/message)   transcript %8.2f   QTextEdit %8.2f\n", kBucket,
              ours.firstMicros, theirs.firstMicros);
  std::printf("append, last %d messages (us/message)    transcript %8.2f   QTextEdit %8.2f\n", kBucket,
              ours.lastMicros, theirs.lastMicros);
  std::printf("heap kept per message (bytes)               transcript %8.0f   QTextEdit %8.0f\n",
              ours.bytesPerMessage, theirs.bytesPerMessage);
  LongLines(icons.path().toStdString() + "/", longCount);
  Memory(icons.path().toStdString() + "/");
  return 0;
}
