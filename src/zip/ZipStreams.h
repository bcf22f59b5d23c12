#pragma once

// Streams of the zip component: the abstract stream, a plain file stream, a growable
// memory stream and a stream over a fixed block of memory.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DosFiles.h"
#include "platform/Exception.h"

namespace zip {

using platform::EStreamError;

constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

class TStream {
 public:
  virtual ~TStream() = default;
  // Short counts are normal at the end of data; they never raise.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Origin 2 counts from the end: Seek(-4, soFromEnd) stands four bytes before it.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t size);

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }
  // These raise EStreamError on a short count.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  int64_t CopyFrom(TStream& source, int64_t count);  // count 0: all of source from its start
};

// A file opened by name. Opening failures raise EStreamError naming the file.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, uint16_t mode);
  // A new, uniquely named file in `dir`, open for writing; FileName() tells its name.
  // When it stands in for `forName`, a failure is told as creating that file.
  static std::unique_ptr<TFileStream> CreateTemp(const std::string& dir, const std::string& prefix,
                                                 const std::string& forName = {});
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  platform::TOsFile& File() { return file_; }
  const std::string& FileName() const { return name_; }

 private:
  TFileStream() = default;
  platform::TOsFile file_;
  std::string name_;
};

class TMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  void Clear() { data_.clear(); pos_ = 0; }
  uint8_t* Memory() { return data_.data(); }
  std::vector<uint8_t>& Data() { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// A stream over a block of memory it does not own and cannot grow.
class TAbsMemStream : public TStream {
 public:
  TAbsMemStream(void* memory, int64_t size) : memory_(static_cast<uint8_t*>(memory)), size_(size) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Origin 2 takes the offset back from the end: Seek(0, 2) is the size.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

 private:
  uint8_t* memory_;
  int64_t size_;
  int64_t pos_ = 0;
};

}  // namespace zip
