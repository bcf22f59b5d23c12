#include "zip/BufferStream.h"

#include <algorithm>
#include <cstring>

namespace zip {

TS_BufferStream::TS_BufferStream(TStream* stream, int bufSize)
    : stream_(stream), buffer_(static_cast<size_t>(std::max(bufSize, 1))) {}

TS_BufferStream::~TS_BufferStream() {
  try {
    FinishWrites();
  } catch (...) {
    // A destructor cannot report: writers that must know call FinishWrites first.
  }
}

bool TS_BufferStream::FinishWrites() {
  if (mode_ == kWriting) FlushBuffer();
  if (flushOnClose_ && written_) {
    if (auto* file = dynamic_cast<TFileStream*>(stream_); file && !file->File().FlushToDisk()) failed_ = true;
    written_ = false;
  }
  return !failed_;
}

int64_t TS_BufferStream::UnderPos() {
  if (!underKnown_) SetUnderPos(stream_->Seek(0, soFromCurrent));
  return underPos_;
}

void TS_BufferStream::SetUnderPos(int64_t pos) {
  underPos_ = pos;
  underKnown_ = pos >= 0;
}

bool TS_BufferStream::FillBuffer() {
  const int64_t n = stream_->Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
  if (n > 0 && underKnown_) underPos_ += n;
  current_ = buffer_.data();
  end_ = current_ + std::max<int64_t>(n, 0);
  mode_ = n > 0 ? kReading : kEmpty;
  putBack_ = false;
  AfterFillBuffer();
  return n > 0;
}

bool TS_BufferStream::FlushBuffer() {
  const int64_t pending = current_ ? current_ - buffer_.data() : 0;
  const int64_t n = pending > 0 ? stream_->Write(buffer_.data(), pending) : 0;
  if (n > 0 && underKnown_) underPos_ += n;
  lost_ = pending - std::max<int64_t>(n, 0);
  // Bytes that did not reach the file are gone: the stream is not whole any more.
  if (lost_ > 0) failed_ = true;
  current_ = buffer_.data();
  mode_ = kEmpty;
  AfterFlushBuffer();
  return n == pending;
}

void TS_BufferStream::AfterFillBuffer() {
  if (OnAfterFill) OnAfterFill(this);
}

void TS_BufferStream::AfterFlushBuffer() {
  if (OnAfterFlush) OnAfterFlush(this);
}

int64_t TS_BufferStream::GetBufPosition() const {
  switch (mode_) {
    case kReading: return current_ - end_;
    case kWriting: return current_ - buffer_.data();
    default: return 0;
  }
}

int64_t TS_BufferStream::Read(void* buffer, int64_t count) {
  if (mode_ == kWriting) {
    FlushBuffer();
    end_ = current_;
  } else if (!current_ || mode_ == kEmpty) {
    current_ = end_ = buffer_.data();
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (count > 0) {
    if (current_ == end_ && !FillBuffer()) break;
    const int64_t n = std::min<int64_t>(end_ - current_, count);
    std::memcpy(out + done, current_, static_cast<size_t>(n));
    current_ += n;
    done += n;
    count -= n;
  }
  return done;
}

int64_t TS_BufferStream::Write(const void* buffer, int64_t count) {
  // Past a lost flush the file has a hole where those bytes belong.
  if (failed_) return 0;
  if (mode_ != kWriting) {
    // Drop the read-ahead: the underlying stream goes back to the logical position.
    if (mode_ == kReading) SetUnderPos(stream_->Seek(current_ - end_, soFromCurrent));
    current_ = buffer_.data();
    end_ = buffer_.data() + buffer_.size();
    mode_ = kEmpty;  // until a byte is taken: a write of nothing holds no read-ahead
  }
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (count > 0) {
    const int64_t n = std::min<int64_t>(end_ - current_, count);
    std::memcpy(current_, in + done, static_cast<size_t>(n));
    current_ += n;
    done += n;
    count -= n;
    mode_ = kWriting;
    if (current_ == end_) {
      const bool ok = FlushBuffer();
      end_ = buffer_.data() + buffer_.size();
      if (!ok) {
        // What this call handed over counts only as far as it reached the file,
        // even when the failed flush was its last.
        written_ = true;
        return std::max<int64_t>(done - lost_, 0);
      }
    }
  }
  if (current_ != buffer_.data()) mode_ = kWriting;
  written_ = true;
  return done;
}

int64_t TS_BufferStream::Seek(int64_t offset, int origin) {
  const int64_t logical = UnderPos() + GetBufPosition();
  int64_t target;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = logical + offset; break;
    case soFromEnd: target = std::max(logical, stream_->Size()) - (offset < 0 ? -offset : offset); break;
    default: {
      char msg[64];
      std::snprintf(msg, sizeof msg, "Invalid seek origin (%d)", origin);
      throw platform::Exception(msg);
    }
  }
  if (target != logical) {
    // A target inside what was read last is served from the buffer: readers that hop
    // over a few bytes (a name, an extra field) would otherwise read it all again.
    // One who listens for fills is told of each one an unbuffered seek would cause.
    if (mode_ == kReading && underKnown_ && !putBack_ && !OnAfterFill) {
      const int64_t bufferStart = underPos_ - (end_ - buffer_.data());
      if (target >= bufferStart && target <= underPos_) {
        current_ = buffer_.data() + (target - bufferStart);
        return target;
      }
    }
    // The message begins with a backslash and an "n", as it always has: no line break.
    if (mode_ == kWriting && !FlushBuffer()) throw platform::Exception("\\nSeek error");
    SetUnderPos(stream_->Seek(target, soFromBeginning));
    current_ = nullptr;
    end_ = nullptr;
    mode_ = kEmpty;
  }
  return target;
}

int64_t TS_BufferStream::Size() {
  return std::max(stream_->Size(), UnderPos() + GetBufPosition());
}

void TS_BufferStream::PutBack(uint8_t c) {
  if (!current_ || current_ <= buffer_.data()) throw EStreamError("Putback overflow");
  --current_;
  *current_ = c;
  putBack_ = true;
}

bool TS_BufferStream::IsEof() {
  return current_ == end_ && UnderPos() == stream_->Size();
}

TLFNFileStream::TLFNFileStream(const std::string& fileName, uint16_t mode, bool flushOnClose, int bufSize)
    : TS_BufferStream(nullptr, bufSize), file_(std::make_unique<TFileStream>(fileName, mode)) {
  stream_ = file_.get();
  flushOnClose_ = flushOnClose && (mode == platform::fmCreate || (mode & 3) != platform::fmOpenRead);
}

TLFNFileStream::TLFNFileStream(std::unique_ptr<TFileStream> file, bool flushOnClose, int bufSize)
    : TS_BufferStream(nullptr, bufSize), file_(std::move(file)) {
  stream_ = file_.get();
  flushOnClose_ = flushOnClose;
}

TLFNFileStream::~TLFNFileStream() {
  try {
    FinishWrites();
  } catch (...) {
  }
}

}  // namespace zip
