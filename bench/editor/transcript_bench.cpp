// The transcript windows' road for 100,000 chat messages, as they write
// each one: caret to the end, a bold coloured header line in the selection
// attributes, the message text in the sender's font, an emoticon picture,
// and the line break. Prints the time per message over the first and the
// last ten thousand (a message must not get dearer as the transcript grows)
// and the heap bytes each message keeps, beside QTextEdit appending the same
// formatted messages with the same pictures in the same run.
#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "editor/QuillRichEdit.h"

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

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
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
  const std::vector<Message> messages = MakeMessages();

  Figures ours;
  {
    quill::TQuillRichEdit transcript;
    transcript.resize(kWidth, kHeight);
    transcript.SetPlainText(true);
    transcript.SetWordWrap(true);
    transcript.SetScrollBars(quill::TScrollStyle::ssVertical);
    transcript.SetReadOnly(true);
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
  return 0;
}
