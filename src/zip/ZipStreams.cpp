#include "zip/ZipStreams.h"

#include <algorithm>
#include <cstring>

namespace zip {

int64_t TStream::Size() {
  const int64_t here = Seek(0, soFromCurrent);
  const int64_t end = Seek(0, soFromEnd);
  Seek(here, soFromBeginning);
  return end;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream cannot change its size"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 65536)) + 1);
  int64_t left = count;
  while (left > 0) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : name_(fileName) {
  if (!file_.Open(fileName, mode)) {
    throw EStreamError((mode == platform::fmCreate ? "Cannot create file \"" : "Cannot open file \"") + fileName +
                       "\". " + file_.LastError());
  }
}

std::unique_ptr<TFileStream> TFileStream::CreateTemp(const std::string& dir, const std::string& prefix,
                                                     const std::string& forName) {
  std::unique_ptr<TFileStream> stream(new TFileStream());
  if (!stream->file_.CreateTemp(dir, prefix, stream->name_)) {
    if (!forName.empty()) throw EStreamError("Cannot create file \"" + forName + "\". " + stream->file_.LastError());
    throw EStreamError("Cannot create a temporary file in \"" + dir + "\". " + stream->file_.LastError());
  }
  return stream;
}

int64_t TFileStream::Read(void* buffer, int64_t count) { return count <= 0 ? 0 : file_.Read(buffer, count); }

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  return count <= 0 ? 0 : file_.Write(buffer, count);
}

int64_t TFileStream::Seek(int64_t offset, int origin) { return file_.Seek(offset, origin); }

int64_t TFileStream::Size() { return file_.Size(); }

void TFileStream::SetSize(int64_t size) {
  if (!file_.Truncate(size)) throw EStreamError("Cannot set the size of \"" + name_ + "\"");
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || pos_ >= size) return 0;
  const int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > Size()) data_.resize(static_cast<size_t>(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
  int64_t np = origin == soFromBeginning ? offset : origin == soFromCurrent ? pos_ + offset : Size() + offset;
  pos_ = std::max<int64_t>(np, 0);
  return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  pos_ = std::min(pos_, Size());
}

int64_t TAbsMemStream::Read(void* buffer, int64_t count) {
  if (pos_ < 0 || count < 0) return 0;
  if (count > size_ - pos_) throw EStreamError("MemStream reading behond limits");
  std::memcpy(buffer, memory_ + pos_, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TAbsMemStream::Write(const void* buffer, int64_t count) {
  if (pos_ < 0 || count < 0) return 0;
  if (count > size_ - pos_) throw EStreamError("MemStream writing behond limits");
  std::memcpy(memory_ + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TAbsMemStream::Seek(int64_t offset, int origin) {
  int64_t np = pos_;
  switch (origin) {
    case soFromBeginning: np = offset; break;
    case soFromCurrent: np = pos_ + offset; break;
    case soFromEnd: np = size_ - offset; break;
    default: break;
  }
  if (np < 0 || np > size_) throw EStreamError("MemStream seeking behond limits");
  pos_ = np;
  return pos_;
}

}  // namespace zip
