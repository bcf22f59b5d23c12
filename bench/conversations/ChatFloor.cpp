// What a chat message costs any Qt Widgets program on this machine: two
// processes, each a window of a chat window's size with a transcript above an
// input, send the chat's text frame back and forth over loopback TCP and show
// every message as the chat does (a bold header row with the sender and the
// time, the text row with its picture and its underlined address, the blank
// row the next header takes), done the leanest honest way: a socket notifier,
// lines kept in a widget of our own, rows already shown moved by a blit and
// only the new ones painted with QPainter::drawText, a QPlainTextEdit input
// typed into and cleared. What it spends is the floor under the chat's own
// figures: the kernel's part of a message and Qt's part of showing it.
//
// The parent (Ann) sends the next message once the last came back, timing
// from the send to the echo painted (the stop comes after the paint cycle
// that shows it); the child (Bob) types each message he is sent into his
// input and sends it back, once the turn that showed it is over. Each prints
// or hands over the CPU time it spent per round trip from the WARM-th peer
// message painted to the last, typing the text into the input apart.
//
// usage: conversations_chat_floor [round trips, default 2000] [parent's core] [child's core] [warm]
// Prints "chat floor round trips N median M p99 P cpu ANN BOB typing ANN BOB",
// in microseconds. Each side given a core stays on it, as the echo's do.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "LoopbackPair.h"

namespace {

using bench::ListenOnLoopback;
using bench::PinTo;

// The chat window's size, its transcript's viewport and its input's.
constexpr int kWindowWidth = 594, kWindowHeight = 462;
constexpr int kTranscriptWidth = 374, kTranscriptHeight = 192;
constexpr int kInputWidth = 300, kInputHeight = 60;
constexpr int kPicture = 19;  // an emoticon picture's side
constexpr int kMargin = 2;    // between the transcript's edge and its text

double CpuMicros() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

void NoDelayNonBlocking(int fd) {
  bench::NoDelay(fd);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// "h:mm AM", as a message header shows the time it was written.
QString HeaderTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int h = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d %s", h, local.tm_min, local.tm_hour < 12 ? "AM" : "PM");
  return QString::fromLatin1(text);
}

// The smiling face a ":-)" is shown as, drawn once.
QPixmap SmileyPicture() {
  QPixmap picture(kPicture, kPicture);
  picture.fill(Qt::white);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::black);
  p.setBrush(QColor(255, 221, 0));
  p.drawEllipse(QRectF(0.5, 0.5, kPicture - 1, kPicture - 1));
  p.setBrush(Qt::black);
  p.drawEllipse(QRectF(5, 5, 2, 3));
  p.drawEllipse(QRectF(12, 5, 2, 3));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(5, 7, 9, 7), 200 * 16, 140 * 16);
  return picture;
}

QFont Styled(QFont font, bool bold, bool underline) {
  font.setBold(bold);
  font.setUnderline(underline);
  return font;
}

// A piece of a row: text in the row's font, an underlined address, or a picture.
struct TRun {
  enum Kind { Text, Link, Picture } kind = Text;
  QString text;
  int x = 0;
};

struct TRow {
  int top = 0, height = 0;  // in the whole transcript, from its first row
  int baseline = 0;         // of its text, from its top
  bool bold = false;
  QColor colour;
  std::vector<TRun> runs;
};

// The transcript: rows kept here, the ones that scroll up moved by a blit,
// only the rows a message changed painted again.
class TFloorTranscript : public QWidget {
 public:
  std::function<void()> OnPaint;

  explicit TFloorTranscript(QWidget* parent)
      : QWidget(parent),
        plain_("Verdana", 8),
        bold_(Styled(plain_, true, false)),
        link_(Styled(plain_, false, true)),
        smiley_(SmileyPicture()),
        plainMetrics_(plain_),
        boldMetrics_(bold_),
        space_(plainMetrics_.horizontalAdvance(' ')) {
    // Every pixel is painted by us: the blit of QWidget::scroll needs it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kTranscriptWidth, kTranscriptHeight);
    // The transcript takes the focus first, as the chat's does (its keys
    // copy and select): the input shows no caret while it is typed into.
    setFocusPolicy(Qt::StrongFocus);
    rows_.push_back(BlankRow(0));
  }

  // The header takes the blank row at the end; the text row and a new blank
  // row follow it.
  void AddMessage(const QString& name, const QColor& colour, const QByteArray& text) {
    const int headerTop = rows_.back().top;
    TRow header;
    header.top = headerTop;
    header.height = boldMetrics_.height();
    header.baseline = header.height - boldMetrics_.descent();
    header.bold = true;
    header.colour = colour;
    header.runs.push_back({TRun::Text, name + " (" + HeaderTimeNow() + ")", kMargin});
    rows_.back() = std::move(header);
    rows_.push_back(TextRow(rows_.back().top + rows_.back().height, colour, text));
    rows_.push_back(BlankRow(rows_.back().top + rows_.back().height));

    const int bottom = rows_.back().top + rows_.back().height;
    const int dy = bottom - top_ - height();
    if (dy > 0) {
      top_ += dy;
      scroll(0, -dy);
      while (rows_.front().top + rows_.front().height <= top_) rows_.pop_front();
    }
    update(0, headerTop - top_, width(), bottom - headerTop);
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    const QRect area = e->rect();
    p.fillRect(area, Qt::white);
    const QFont* font = nullptr;
    for (const TRow& row : rows_) {
      const int y = row.top - top_;
      if (y >= area.bottom() + 1) break;
      if (y + row.height <= area.top()) continue;
      p.setPen(row.colour);
      for (const TRun& run : row.runs) {
        if (run.kind == TRun::Picture) {
          p.drawPixmap(run.x, y + row.height - kPicture, smiley_);
          continue;
        }
        const QFont* wanted = row.bold ? &bold_ : run.kind == TRun::Link ? &link_ : &plain_;
        if (wanted != font) p.setFont(*(font = wanted));
        p.drawText(run.x, y + row.baseline, run.text);
      }
    }
    if (OnPaint) OnPaint();
  }

 private:
  TRow BlankRow(int top) const {
    TRow row;
    row.top = top;
    row.height = plainMetrics_.height();
    return row;
  }

  // Words are split at spaces once, as the text arrives: a ":-)" becomes the
  // picture, an address is underlined, the words between are one plain run.
  // The gap between two runs is a space; a run is measured only when another
  // follows it on the row.
  TRow TextRow(int top, const QColor& colour, const QByteArray& text) const {
    TRow row;
    row.top = top;
    row.height = std::max(plainMetrics_.height(), kPicture);
    row.baseline = row.height - plainMetrics_.descent();
    row.colour = colour;
    bool wordsRun = false;  // the last run takes the next plain word
    for (const QByteArray& word : text.split(' ')) {
      if (word == ":-)") {
        row.runs.push_back({TRun::Picture, {}, 0});
        wordsRun = false;
      } else if (word.startsWith("http://")) {
        row.runs.push_back({TRun::Link, QString::fromLatin1(word), 0});
        wordsRun = false;
      } else if (wordsRun) {
        row.runs.back().text += ' ' + QString::fromLatin1(word);
      } else {
        row.runs.push_back({TRun::Text, QString::fromLatin1(word), 0});
        wordsRun = true;
      }
    }
    int x = kMargin;
    for (std::size_t i = 0; i < row.runs.size(); ++i) {
      TRun& run = row.runs[i];
      run.x = x;
      if (i + 1 < row.runs.size())
        x += (run.kind == TRun::Picture ? kPicture : plainMetrics_.horizontalAdvance(run.text)) + space_;
    }
    return row;
  }

  QFont plain_, bold_, link_;
  QPixmap smiley_;
  QFontMetrics plainMetrics_, boldMetrics_;
  int space_;
  std::deque<TRow> rows_;
  int top_ = 0;  // the transcript's y shown at the widget's top
};

// CPU time between two peer messages painted, and the typing within it.
struct TCpuWatch {
  int from = 0, to = 0;
  int startedWith = -1;  // peer messages painted when the measurement began
  bool finished = false;
  double startedAt = 0, typingAtStart = 0, typing = 0;
  double perMessage = 0, typingPerMessage = 0;

  // One paint may show more than one new message.
  void Painted(int count) {
    if (startedWith < 0 && count >= from) {
      startedWith = count;
      startedAt = CpuMicros();
      typingAtStart = typing;
    } else if (startedWith >= 0 && count >= to && !finished) {
      finished = true;
      const int n = count - startedWith;
      perMessage = (CpuMicros() - startedAt) / n;
      typingPerMessage = (typing - typingAtStart) / n;
    }
  }
};

// One end of the chat: its window, its link, and what it does with each
// message. Ann (the parent) sends and times; Bob echoes.
class TFloorChat : public QWidget {
 public:
  TFloorChat(int fd, bool ann, int messages, int warm)
      : QWidget(nullptr, Qt::Window), fd_(fd), ann_(ann), messages_(messages) {
    resize(kWindowWidth, kWindowHeight);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(6, 141, 6, 6);
    transcript_ = new TFloorTranscript(this);
    input_ = new QPlainTextEdit(this);
    input_->setFont(QFont("Verdana", 8));
    input_->setFixedSize(kInputWidth, kInputHeight);
    box->addWidget(transcript_);
    box->addSpacing(40);
    box->addWidget(input_);
    box->addStretch(1);
    cpu_.from = warm;
    cpu_.to = messages;
    transcript_->OnPaint = [this] { TranscriptPainted(); };
    auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { Receive(); });
  }

  void Start() {
    if (ann_) TypeAndSend(Ping(1));
  }

  const TCpuWatch& Cpu() const { return cpu_; }
  std::vector<double>& RoundTrips() { return micros_; }
  bool Failed() const { return failed_; }

 protected:
  // A paint of a peer message that came with the window's update request is
  // reported once the request (the paint and the flush) is over.
  bool event(QEvent* e) override {
    if (e->type() != QEvent::UpdateRequest) return QWidget::event(e);
    updating_ = true;
    const bool done = QWidget::event(e);
    updating_ = false;
    if (paintedInUpdate_ >= 0) PeerMessagesPainted(std::exchange(paintedInUpdate_, -1));
    return done;
  }

 private:
  static std::string Ping(int n) { return "ping " + std::to_string(n) + " :-) http://example.com/"; }

  void TranscriptPainted() {
    if (!waiting_) return;
    waiting_ = false;
    if (updating_) paintedInUpdate_ = shown_;
    else QMetaObject::invokeMethod(this, [this, shown = shown_] { PeerMessagesPainted(shown); }, Qt::QueuedConnection);
  }

  void PeerMessagesPainted(int count) {
    cpu_.Painted(count);
    if (!ann_) return;
    micros_.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent_).count());
    if (count < messages_) TypeAndSend(Ping(count + 1));
    else QApplication::quit();
  }

  void TypeAndSend(const std::string& text) {
    const double typingFrom = CpuMicros();
    input_->setPlainText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    cpu_.typing += CpuMicros() - typingFrom;
    const QByteArray typed = input_->toPlainText().toLatin1();
    const std::string frame = "  1006<>" + typed.toStdString() + "\r\n";
    sent_ = std::chrono::steady_clock::now();
    if (::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) {
      Fail("send");
      return;
    }
    transcript_->AddMessage(ann_ ? "Ann" : "Bob", Qt::black, typed);
    ClearInput();
  }

  // The text alone is taken out, unrecorded: clearing the whole input would
  // build its document and layout anew.
  void ClearInput() {
    QTextDocument* doc = input_->document();
    doc->setUndoRedoEnabled(false);
    QTextCursor all(doc);
    all.select(QTextCursor::Document);
    all.removeSelectedText();
    doc->setUndoRedoEnabled(true);
  }

  void Receive() {
    char buf[4096];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      if (!ann_) QApplication::quit();
      else Fail("the echo ended");
      return;
    }
    if (n < 0) return;
    held_.append(buf, n);
    qsizetype end;
    while ((end = held_.indexOf("\r\n")) >= 0) {
      const qsizetype text = held_.indexOf('>') + 1;
      if (held_.startsWith("  1006<") && text > 0 && text <= end) ShowPeerText(held_.mid(text, end - text));
      held_.remove(0, end + 2);
    }
  }

  void ShowPeerText(const QByteArray& text) {
    transcript_->AddMessage(ann_ ? "Bob" : "Ann", QColor(0, 0, 128), text);
    ++shown_;
    waiting_ = true;
    if (!ann_) {
      const std::string echo = text.toStdString();
      QTimer::singleShot(0, this, [this, echo] { TypeAndSend(echo); });
    }
  }

  void Fail(const char* what) {
    std::fprintf(stderr, "chat floor: %s failed\n", what);
    failed_ = true;
    QApplication::quit();
  }

  TFloorTranscript* transcript_ = nullptr;
  QPlainTextEdit* input_ = nullptr;
  int fd_;
  bool ann_;
  int messages_;
  QByteArray held_;
  int shown_ = 0;             // peer messages added to the transcript
  bool waiting_ = false;      // for the transcript to paint the last of them
  bool updating_ = false;     // inside the window's update request
  int paintedInUpdate_ = -1;  // peer messages its paint showed
  bool failed_ = false;
  TCpuWatch cpu_;
  std::vector<double> micros_;
  std::chrono::steady_clock::time_point sent_;
};

}  // namespace

int main(int argc, char** argv) {
  const int messages = argc > 1 ? std::max(2, std::atoi(argv[1])) : 2000;
  const int warm = std::clamp(argc > 4 ? std::atoi(argv[4]) : std::min(100, messages / 10), 1, messages - 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  sockaddr_in sa{};
  const int lfd = ListenOnLoopback(sa);
  if (lfd < 0) return 1;
  int figures[2];
  if (::pipe(figures) != 0) return 1;

  // Each process makes its own application after the fork: a Qt program
  // does not survive being forked.
  const pid_t child = ::fork();
  if (child == 0) {
    PinTo(argc > 3 ? argv[3] : nullptr);
    ::close(figures[0]);
    QApplication app(argc, argv);
    const int fd = ::accept(lfd, nullptr, nullptr);
    ::close(lfd);
    NoDelayNonBlocking(fd);
    TFloorChat bob(fd, false, messages, warm);
    bob.show();
    app.exec();
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%.2f %.2f\n", bob.Cpu().perMessage, bob.Cpu().typingPerMessage);
    if (::write(figures[1], line, static_cast<std::size_t>(n)) != n) _exit(1);
    _exit(0);
  }
  ::close(lfd);
  ::close(figures[1]);
  PinTo(argc > 2 ? argv[2] : nullptr);
  QApplication app(argc, argv);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    // The child would wait for this call to the end.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return 1;
  }
  NoDelayNonBlocking(fd);
  TFloorChat ann(fd, true, messages, warm);
  ann.show();
  QTimer::singleShot(0, &ann, [&ann] { ann.Start(); });
  app.exec();
  ::close(fd);
  char line[64] = {};
  double bobCpu = 0, bobTyping = 0;
  const ssize_t got = ::read(figures[0], line, sizeof line - 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (ann.Failed() || got <= 0 || std::sscanf(line, "%lf %lf", &bobCpu, &bobTyping) != 2) return 1;
  std::vector<double>& micros = ann.RoundTrips();
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double p) {
    return micros[std::min(micros.size() - 1, static_cast<std::size_t>(p * static_cast<double>(micros.size())))];
  };
  std::printf("chat floor round trips %d median %.1f p99 %.1f cpu %.2f %.2f typing %.2f %.2f\n", messages, at(0.5),
              at(0.99), ann.Cpu().perMessage, bobCpu, ann.Cpu().typingPerMessage, bobTyping);
  return 0;
}
