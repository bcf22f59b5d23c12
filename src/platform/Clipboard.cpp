#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QStringList>

#include <memory>

#include "platform/Charset.h"

namespace platform {

namespace {

QClipboard* Board() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr; }

// RTF goes by two names on this desktop; the one written first is the one
// most programs ask for.
QStringList MimeTypes(const std::string& format) {
  if (format == kRichTextFormat) return {QStringLiteral("text/rtf"), QStringLiteral("application/rtf")};
  return {QString::fromStdString(format)};
}

// What the program last put on the clipboard. Some desktops (the headless
// one) cannot tell who owns the clipboard; the data itself can.
QPointer<QMimeData>& Ours() {
  static QPointer<QMimeData> ours;
  return ours;
}

bool Owned(QClipboard* board) {
  return board->ownsClipboard() || (!Ours().isNull() && board->mimeData() == Ours().data());
}

void Put(QClipboard* board, QMimeData* data) {
  Ours() = data;
  board->setMimeData(data);
}

std::string ToDesktopBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

bool ClipboardHasText() {
  QClipboard* board = Board();
  const QMimeData* data = board != nullptr ? board->mimeData() : nullptr;
  return data != nullptr && data->hasText();
}

std::string ClipboardText() {
  QClipboard* board = Board();
  return board != nullptr ? FromQString(board->text()) : std::string();
}

void SetClipboardText(const std::string& text) {
  QClipboard* board = Board();
  if (board == nullptr) return;
  auto* data = new QMimeData;
  data->setText(ToQString(ToDesktopBreaks(text)));
  Put(board, data);
}

void ClearClipboard() {
  if (QClipboard* board = Board()) board->clear();
}

bool AddClipboardFormat(const std::string& format, const std::string& bytes) {
  QClipboard* board = Board();
  if (board == nullptr) return false;
  auto data = std::make_unique<QMimeData>();
  // Setting data replaces everything: what the program put there before is
  // carried over, so text and RTF of one copy travel together.
  if (Owned(board))
    if (const QMimeData* old = board->mimeData())
      for (const QString& type : old->formats()) data->setData(type, old->data(type));
  const QByteArray payload(bytes.data(), static_cast<qsizetype>(bytes.size()));
  for (const QString& type : MimeTypes(format)) data->setData(type, payload);
  Put(board, data.release());
  return true;
}

bool ReadClipboardFormat(const std::string& format, std::string& bytes) {
  bytes.clear();
  QClipboard* board = Board();
  const QMimeData* data = board != nullptr ? board->mimeData() : nullptr;
  if (data == nullptr) return false;
  for (const QString& type : MimeTypes(format)) {
    if (!data->hasFormat(type)) continue;
    const QByteArray payload = data->data(type);
    bytes.assign(payload.constData(), static_cast<size_t>(payload.size()));
    return true;
  }
  return false;
}

bool ClipboardHasFormat(const std::string& format) {
  QClipboard* board = Board();
  const QMimeData* data = board != nullptr ? board->mimeData() : nullptr;
  if (data == nullptr) return false;
  for (const QString& type : MimeTypes(format))
    if (data->hasFormat(type)) return true;
  return false;
}

bool ClipboardOwned() {
  QClipboard* board = Board();
  return board != nullptr && Owned(board);
}

}  // namespace platform
