#pragma once

// A read/write buffer in front of another stream, and the buffered file stream through
// which the zip component opens every archive and every file it packs or unpacks.

#include <functional>
#include <memory>
#include <vector>

#include "zip/ZipStreams.h"

namespace zip {

class TS_BufferStream : public TStream {
 public:
  using TNotify = std::function<void(TS_BufferStream* sender)>;

  TS_BufferStream(TStream* stream, int bufSize);
  ~TS_BufferStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override;

  virtual bool FillBuffer();
  virtual bool FlushBuffer();
  // One byte back into the read buffer; raises when there is no room before the current byte.
  virtual void PutBack(uint8_t c);
  int64_t GetBufPosition() const;
  bool IsEof();
  // Writes what is pending (and with flush-on-close forces it to the disk);
  // false when any write of the stream's life fell short. Destructors call
  // it too, but cannot tell.
  bool FinishWrites();

  TNotify OnAfterFill;
  TNotify OnAfterFlush;

 protected:
  virtual void AfterFillBuffer();
  virtual void AfterFlushBuffer();

  TStream* stream_;
  bool flushOnClose_ = false;
  bool written_ = false;
  bool failed_ = false;  // a flush fell short
  int64_t lost_ = 0;     // bytes the last flush did not write

 private:
  // The underlying position, remembered so that finding the logical position costs
  // no system call; only this class moves the underlying stream.
  int64_t UnderPos();
  void SetUnderPos(int64_t pos);

  enum Mode { kEmpty = 0, kReading = 1, kWriting = 2 };
  std::vector<uint8_t> buffer_;
  uint8_t* current_ = nullptr;
  uint8_t* end_ = nullptr;
  Mode mode_ = kEmpty;
  int64_t underPos_ = 0;
  bool underKnown_ = false;
  bool putBack_ = false;  // the buffer no longer matches the stream beneath
};

class TLFNFileStream : public TS_BufferStream {
 public:
  TLFNFileStream(const std::string& fileName, uint16_t mode, bool flushOnClose, int bufSize);
  // Buffers a file stream opened elsewhere (a new temporary file) for writing.
  TLFNFileStream(std::unique_ptr<TFileStream> file, bool flushOnClose, int bufSize);
  ~TLFNFileStream() override;
  int GetHandle() { return file_->File().Handle(); }
  TFileStream& FileStream() { return *file_; }

 private:
  std::unique_ptr<TFileStream> file_;
};

}  // namespace zip
