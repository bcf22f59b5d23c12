// Appends 100,000 lines one at a time to a wrapped editor that follows its
// end, as a chat transcript grows, letting the window paint every hundred
// lines; then scrolls through the text three rows a frame, each frame
// painted. Prints the time per append for the first and the last ten
// thousand lines (an append must not get dearer as the text grows) and the
// frames per second, beside QPlainTextEdit doing the same in the same run.
// The transcript windows' own road (caret to the text length, the text as
// the selection's replacement, the selection length back to 0) is timed too.
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "editor/QuillEdit.h"
#include "platform/EventLoop.h"

namespace {

constexpr int kLines = 100000;
constexpr int kBucket = 10000;
constexpr int kFrames = 3000;
constexpr int kWidth = 600, kHeight = 400;

std::vector<std::string> MakeLines() {
  static const char* words[] = {"hello", "there", "how", "are", "you", "today", "see", "www.example.org",
                                "the", "file", "arrived", ":-)", "ok", "Sure,", "why", "not", "tomorrow"};
  std::mt19937 rng(7);
  std::vector<std::string> lines(kLines);
  for (auto& line : lines) {
    const int n = 4 + static_cast<int>(rng() % 30);
    for (int i = 0; i < n; ++i) {
      if (i) line += ' ';
      line += words[rng() % std::size(words)];
    }
  }
  return lines;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Figures {
  double firstMicros = 0, lastMicros = 0, fps = 0;
};

Figures Run(const std::vector<std::string>& lines, const std::function<void(const std::string&)>& append,
            const std::function<int()>& rows, const std::function<void(int)>& scrollTo) {
  Figures f;
  auto bucket = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    if (i == kBucket) f.firstMicros = Seconds(bucket) * 1e6 / kBucket;
    if (i == kLines - kBucket) bucket = std::chrono::steady_clock::now();
    append(lines[static_cast<size_t>(i)]);
    if (i % 100 == 99) QApplication::processEvents();
  }
  f.lastMicros = Seconds(bucket) * 1e6 / kBucket;
  QApplication::processEvents();
  const int total = rows();
  auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < kFrames; ++frame) {
    scrollTo((frame * 3) % std::max(total, 1));
    QApplication::processEvents();
  }
  f.fps = kFrames / Seconds(start);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  platform::TEventLoopChoice loop;
  QApplication app(argc, argv);
  loop.Done();
  const std::vector<std::string> lines = MakeLines();

  quill::TQuillEdit edit;
  edit.resize(kWidth, kHeight);
  edit.SetScrollBars(quill::TScrollStyle::ssVertical);
  edit.SetWordWrap(true);
  edit.show();
  quill::TCustomQuillEditSource& doc = edit.GetEditSource();
  bool first = true;
  const Figures ours = Run(
      lines,
      [&](const std::string& s) {
        quill::TQuillSourceUpdate update(doc, quill::oprInsert);
        const int last = doc.Strings().Count() - 1;
        if (!first) {
          doc.JumpTo(edit.LineWidth(last), last);
          doc.BreakString();
          doc.JumpTo(0, last + 1);
        }
        first = false;
        doc.InsertString(s);
      },
      [&] { return edit.MaxVisibleLine(); }, [&](int row) { edit.SetWindowLine(row); });

  quill::TQuillEdit transcript;
  transcript.resize(kWidth, kHeight);
  transcript.SetScrollBars(quill::TScrollStyle::ssVertical);
  transcript.SetWordWrap(true);
  // As the windows set it up: writable, with no undo memory.
  transcript.SetSourceOptions(transcript.SourceOptions() & ~quill::srAllowUndo);
  transcript.show();
  const Figures road = Run(
      lines,
      [&](const std::string& s) {
        transcript.SetSelStart(transcript.GetTextLen());
        transcript.SetSelText(s + "\r\n");
        transcript.SetSelLength(0);
      },
      [&] { return transcript.MaxVisibleLine(); }, [&](int row) { transcript.SetWindowLine(row); });

  QPlainTextEdit plain;
  plain.resize(kWidth, kHeight);
  plain.setLineWrapMode(QPlainTextEdit::WidgetWidth);
  plain.show();
  const Figures theirs = Run(
      lines, [&](const std::string& s) { plain.appendPlainText(QString::fromLatin1(s.c_str())); },
      [&] { return plain.verticalScrollBar()->maximum(); },
      [&](int row) { plain.verticalScrollBar()->setValue(row); });

  std::printf("append, first %d lines (us/line)   editor %8.2f   transcript road %8.2f   QPlainTextEdit %8.2f\n",
              kBucket, ours.firstMicros, road.firstMicros, theirs.firstMicros);
  std::printf("append, last %d lines (us/line)    editor %8.2f   transcript road %8.2f   QPlainTextEdit %8.2f\n",
              kBucket, ours.lastMicros, road.lastMicros, theirs.lastMicros);
  std::printf("scrolling 3 rows a frame (frames/s)   editor %8.0f   QPlainTextEdit %8.0f\n", ours.fps, theirs.fps);
  return 0;
}
