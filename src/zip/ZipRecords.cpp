#include "zip/ZipRecords.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "zip/ZipFileUtils.h"

namespace zip {

namespace {

uint32_t gCentralSig = kDefaultCentralSig;
uint32_t gLocalSig = kDefaultLocalSig;
uint32_t gEndSig = kDefaultEndSig;

std::string ToBackslashes(std::string s) {
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

int CompareTextAscii(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

std::string NameFromArchive(const std::string& stored, uint16_t versionMadeBy, uint16_t flags, bool oem,
                            bool fromCentral) {
  constexpr int kHostDos = 0, kHostUnix = 3, kHostDarwin = 19;
  const int host = versionMadeBy >> 8;
  if (flags & kUtf8NameFlag) return platform::NameFromDiskBytes(stored);
  if (fromCentral && (host == kHostUnix || host == kHostDarwin) && platform::IsValidUtf8(stored))
    return platform::NameFromDiskBytes(stored);
  if (oem && (!fromCentral || host == kHostDos)) return platform::OemToAnsi(stored);
  return stored;
}

void setZipSignatures(uint32_t central, uint32_t local, uint32_t end) {
  gCentralSig = central ? central : kDefaultCentralSig;
  gLocalSig = local ? local : kDefaultLocalSig;
  gEndSig = end ? end : kDefaultEndSig;
}

uint32_t CentralSignature() { return gCentralSig; }
uint32_t LocalSignature() { return gLocalSig; }
uint32_t EndSignature() { return gEndSig; }

void local_file_header::Decode(const uint8_t* p) {
  Signature = GetLE32(p);
  VersionNeeded = GetLE16(p + 4);
  Flags = GetLE16(p + 6);
  CompressionMethod = GetLE16(p + 8);
  DateTime = GetLE32(p + 10);
  CRC32 = GetLE32(p + 14);
  CompressedSize = GetLE32(p + 18);
  UncompressedSize = GetLE32(p + 22);
  FileNameLength = GetLE16(p + 26);
  ExtraFieldLength = GetLE16(p + 28);
}

void local_file_header::Encode(uint8_t* p) const {
  PutLE32(p, Signature);
  PutLE16(p + 4, VersionNeeded);
  PutLE16(p + 6, Flags);
  PutLE16(p + 8, CompressionMethod);
  PutLE32(p + 10, DateTime);
  PutLE32(p + 14, CRC32);
  PutLE32(p + 18, CompressedSize);
  PutLE32(p + 22, UncompressedSize);
  PutLE16(p + 26, FileNameLength);
  PutLE16(p + 28, ExtraFieldLength);
}

void central_file_header::Decode(const uint8_t* p) {
  Signature = GetLE32(p);
  VersionMadeBy = GetLE16(p + 4);
  VersionNeeded = GetLE16(p + 6);
  Flags = GetLE16(p + 8);
  CompressionMethod = GetLE16(p + 10);
  DateTime = GetLE32(p + 12);
  CRC32 = GetLE32(p + 16);
  CompressedSize = GetLE32(p + 20);
  UncompressedSize = GetLE32(p + 24);
  FileNameLength = GetLE16(p + 28);
  ExtraFieldLength = GetLE16(p + 30);
  FileCommentLength = GetLE16(p + 32);
  DiskNumberStart = GetLE16(p + 34);
  InternalAttributes = GetLE16(p + 36);
  ExternalAttributes = GetLE32(p + 38);
  RelativeOffset = GetLE32(p + 42);
}

void central_file_header::Encode(uint8_t* p) const {
  PutLE32(p, Signature);
  PutLE16(p + 4, VersionMadeBy);
  PutLE16(p + 6, VersionNeeded);
  PutLE16(p + 8, Flags);
  PutLE16(p + 10, CompressionMethod);
  PutLE32(p + 12, DateTime);
  PutLE32(p + 16, CRC32);
  PutLE32(p + 20, CompressedSize);
  PutLE32(p + 24, UncompressedSize);
  PutLE16(p + 28, FileNameLength);
  PutLE16(p + 30, ExtraFieldLength);
  PutLE16(p + 32, FileCommentLength);
  PutLE16(p + 34, DiskNumberStart);
  PutLE16(p + 36, InternalAttributes);
  PutLE32(p + 38, ExternalAttributes);
  PutLE32(p + 42, RelativeOffset);
}

void end_of_central::Decode(const uint8_t* p) {
  Signature = GetLE32(p);
  ThisDiskNumber = GetLE16(p + 4);
  StartOfCentralDiskNumber = GetLE16(p + 6);
  EntriesOnThisDisk = GetLE16(p + 8);
  TotalEntries = GetLE16(p + 10);
  CentralSize = GetLE32(p + 12);
  CentralOffset = GetLE32(p + 16);
  ZipCommentLength = GetLE16(p + 20);
}

void end_of_central::Encode(uint8_t* p) const {
  PutLE32(p, Signature);
  PutLE16(p + 4, ThisDiskNumber);
  PutLE16(p + 6, StartOfCentralDiskNumber);
  PutLE16(p + 8, EntriesOnThisDisk);
  PutLE16(p + 10, TotalEntries);
  PutLE32(p + 12, CentralSize);
  PutLE32(p + 16, CentralOffset);
  PutLE16(p + 20, ZipCommentLength);
}

void TZipHeaderInfo::Clear() {
  VersionMadeBy = 20;
  VersionNeeded = 20;
  Flags = 0;
  CompressionMethod = 8;
  DateTime = 0;
  CRC32 = 0xFFFFFFFF;
  CompressedSize = 0;
  UncompressedSize = 0;
  FileNameLength = 0;
  ExtraFieldLength = 0;
  LocalExtraFieldLength = 0;
  FileCommentLength = 0;
  DiskNumberStart = 0;
  InternalAttributes = 1;
  ExternalAttributes = platform::faArchive;
  RelativeOffset = 0;
  CentralOffset = 0;
  FileName.clear();
  Directory.clear();
  FileComment.reset();
  MatchFlag = kCheckUntested;
  Selected = 0;
  OEMConvert = 0;
}

void TZipHeaderInfo::SplitName(const std::string& name) {
  const size_t slash = name.rfind('\\');
  if (slash == std::string::npos) {
    Directory.clear();
    FileName = name;
  } else {
    Directory = name.substr(0, slash + 1);
    FileName = name.substr(slash + 1);
  }
  FileNameLength = static_cast<uint16_t>(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetFromCentral(const central_file_header& rec, const std::string& name) {
  VersionMadeBy = rec.VersionMadeBy;
  VersionNeeded = rec.VersionNeeded;
  Flags = rec.Flags;
  CompressionMethod = rec.CompressionMethod;
  DateTime = GoodTimeStamp(rec.DateTime);
  CRC32 = rec.CRC32;
  CompressedSize = rec.CompressedSize;
  UncompressedSize = rec.UncompressedSize;
  ExtraFieldLength = rec.ExtraFieldLength;
  FileCommentLength = rec.FileCommentLength;
  DiskNumberStart = rec.DiskNumberStart;
  InternalAttributes = rec.InternalAttributes;
  ExternalAttributes = rec.ExternalAttributes;
  RelativeOffset = rec.RelativeOffset;
  CentralOffset = 0;
  SplitName(name);
  FileComment.reset();
  MatchFlag = kCheckUntested;
  Selected = 0;
}

void TZipHeaderInfo::SetFromLocal(const local_file_header& rec, const std::string& name) {
  VersionMadeBy = 0;
  VersionNeeded = rec.VersionNeeded;
  Flags = rec.Flags;
  CompressionMethod = rec.CompressionMethod;
  DateTime = GoodTimeStamp(rec.DateTime);
  CRC32 = rec.CRC32;
  CompressedSize = rec.CompressedSize;
  UncompressedSize = rec.UncompressedSize;
  LocalExtraFieldLength = rec.ExtraFieldLength;
  FileCommentLength = 0;
  DiskNumberStart = 0;
  InternalAttributes = 0;
  ExternalAttributes = 0;
  RelativeOffset = 0;
  CentralOffset = 0;
  SplitName(name);
  FileComment.reset();
  MatchFlag = kCheckUntested;
  Selected = 0;
}

bool TZipHeaderInfo::ReadCentralFromStream(TStream*& stream, const TNewDiskEvent& newDisk) {
  const int64_t start = stream->Position();
  uint8_t raw[kCentralHeaderSize];
  int64_t got = stream->Read(raw, kCentralHeaderSize);
  if (got < kCentralHeaderSize && newDisk && (got == 0 || (got >= 4 && GetLE32(raw) == gCentralSig))) {
    TStream* before = stream;
    newDisk(this, stream);
    if (!stream) stream = before;  // a handler that had no disk to give: the record stays cut
    if (stream != before) got += std::max<int64_t>(stream->Read(raw + got, kCentralHeaderSize - got), 0);
  }
  if (got != kCentralHeaderSize || GetLE32(raw) != gCentralSig) {
    stream->Seek(start, soFromBeginning);
    return false;
  }
  central_file_header rec;
  rec.Decode(raw);
  std::string name(rec.FileNameLength, '\0');
  if (stream->Read(name.data(), rec.FileNameLength) != rec.FileNameLength) {
    stream->Seek(start, soFromBeginning);
    return false;
  }
  SetFromCentral(rec, NameFromArchive(ToBackslashes(name), rec.VersionMadeBy, rec.Flags, OEMConvert != 0, true));
  CentralOffset = static_cast<uint32_t>(start);
  return true;
}

bool TZipHeaderInfo::ReadLocalFromStream(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t raw[kLocalHeaderSize];
  if (stream.Read(raw, kLocalHeaderSize) != kLocalHeaderSize || GetLE32(raw) != gLocalSig) {
    stream.Seek(start, soFromBeginning);
    return false;
  }
  local_file_header rec;
  rec.Decode(raw);
  std::string name(rec.FileNameLength, '\0');
  if (stream.Read(name.data(), rec.FileNameLength) != rec.FileNameLength) {
    stream.Seek(start, soFromBeginning);
    return false;
  }
  SetFromLocal(rec, NameFromArchive(ToBackslashes(name), 0, rec.Flags, OEMConvert != 0, false));
  RelativeOffset = static_cast<uint32_t>(start);
  return true;
}

std::string TZipHeaderInfo::ArchiveName(bool* utf8) const {
  std::string name = Directory + FileName;
  for (char& c : name)
    if (c == '\\') c = '/';
  // A name the code pages cannot hold goes out as UTF-8 with the flag that
  // says so; every other name is written as it always was.
  const bool asUtf8 = (Flags & kUtf8NameFlag) || platform::NameHasDiskBytes(name);
  if (utf8) *utf8 = asUtf8;
  if (asUtf8) return platform::DiskBytesFromName(name);
  ToOEM(name);
  return name;
}

void TZipHeaderInfo::SaveLocalToStream(TStream& stream) {
  RelativeOffset = static_cast<uint32_t>(stream.Position());
  bool utf8 = false;
  const std::string name = ArchiveName(&utf8);
  if (utf8) Flags |= kUtf8NameFlag;
  local_file_header rec;
  rec.Signature = gLocalSig;
  rec.VersionNeeded = VersionNeeded;
  rec.Flags = Flags;
  rec.CompressionMethod = CompressionMethod;
  rec.DateTime = DateTime;
  rec.CRC32 = CRC32;
  rec.CompressedSize = CompressedSize;
  rec.UncompressedSize = UncompressedSize;
  rec.FileNameLength = static_cast<uint16_t>(name.size());
  rec.ExtraFieldLength = LocalExtraFieldLength;
  uint8_t raw[kLocalHeaderSize];
  rec.Encode(raw);
  stream.WriteBuffer(raw, kLocalHeaderSize);
  stream.WriteBuffer(name.data(), static_cast<int64_t>(name.size()));
}

void TZipHeaderInfo::SaveCentralToStream(TStream& stream, const std::string& extraField) {
  bool utf8 = false;
  const std::string name = ArchiveName(&utf8);
  if (utf8) Flags |= kUtf8NameFlag;
  // The lengths written are those of the bytes that follow, so a record never
  // announces an extra field or comment it does not carry.
  ExtraFieldLength = static_cast<uint16_t>(std::min<size_t>(extraField.size(), 65535));
  const std::string comment = FileComment && FileCommentLength ? FileComment->substr(0, 65535) : std::string();
  FileCommentLength = static_cast<uint16_t>(comment.size());
  central_file_header rec;
  rec.Signature = gCentralSig;
  rec.VersionMadeBy = VersionMadeBy;
  rec.VersionNeeded = VersionNeeded;
  rec.Flags = Flags;
  rec.CompressionMethod = CompressionMethod;
  rec.DateTime = DateTime;
  rec.CRC32 = CRC32;
  rec.CompressedSize = CompressedSize;
  rec.UncompressedSize = UncompressedSize;
  rec.FileNameLength = static_cast<uint16_t>(name.size());
  rec.ExtraFieldLength = ExtraFieldLength;
  rec.FileCommentLength = FileCommentLength;
  rec.DiskNumberStart = DiskNumberStart;
  rec.InternalAttributes = InternalAttributes;
  rec.ExternalAttributes = ExternalAttributes;
  rec.RelativeOffset = RelativeOffset;
  uint8_t raw[kCentralHeaderSize];
  rec.Encode(raw);
  stream.WriteBuffer(raw, kCentralHeaderSize);
  stream.WriteBuffer(name.data(), static_cast<int64_t>(name.size()));
  stream.WriteBuffer(extraField.data(), ExtraFieldLength);
  stream.WriteBuffer(comment.data(), static_cast<int64_t>(comment.size()));
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
  if (name == FileName) return;
  FileName = name;
  FileNameLength = static_cast<uint16_t>(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& dir) {
  std::string d = dir;
  if (!d.empty() && d.back() != '\\') d += '\\';
  if (d == Directory) return;
  Directory = d;
  FileNameLength = static_cast<uint16_t>(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetDateTime(platform::TDateTime value) { DateTime = platform::DateTimeToDosDateTime(value); }

void TZipHeaderInfo::SetNewFileComment(const std::string& comment) { SetFileComment(StrToPChar(comment)); }

void TZipHeaderInfo::SetFileComment(const std::optional<std::string>& comment) {
  if (comment && !comment->empty()) {
    FileComment = comment->substr(0, 65535);
    FileCommentLength = static_cast<uint16_t>(FileComment->size());
  } else {
    FileComment.reset();
    FileCommentLength = 0;
  }
}

std::optional<std::string> TZipHeaderInfo::GetFileComment(TStream& stream) const {
  if (FileCommentLength == 0) return std::nullopt;
  if (FileComment) return FileComment;
  stream.Seek(CentralOffset, soFromBeginning);
  uint8_t raw[kCentralHeaderSize];
  if (stream.Read(raw, kCentralHeaderSize) != kCentralHeaderSize) return std::nullopt;
  central_file_header rec;
  rec.Decode(raw);
  stream.Seek(rec.FileNameLength + rec.ExtraFieldLength, soFromCurrent);
  std::string text(FileCommentLength, '\0');
  const int64_t n = stream.Read(text.data(), FileCommentLength);
  text.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
  return text;
}

void TZipHeaderInfo::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TZipHeaderInfo*>(&source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  VersionMadeBy = other->VersionMadeBy;
  VersionNeeded = other->VersionNeeded;
  Flags = other->Flags;
  CompressionMethod = other->CompressionMethod;
  DateTime = other->DateTime;
  CRC32 = other->CRC32;
  CompressedSize = other->CompressedSize;
  UncompressedSize = other->UncompressedSize;
  FileNameLength = other->FileNameLength;
  ExtraFieldLength = other->ExtraFieldLength;
  LocalExtraFieldLength = other->LocalExtraFieldLength;
  FileCommentLength = other->FileCommentLength;
  DiskNumberStart = other->DiskNumberStart;
  InternalAttributes = other->InternalAttributes;
  ExternalAttributes = other->ExternalAttributes;
  RelativeOffset = other->RelativeOffset;
  CentralOffset = other->CentralOffset;
  FileName = other->FileName;
  Directory = other->Directory;
  FileComment = other->FileCommentLength ? other->FileComment : std::nullopt;
  MatchFlag = other->MatchFlag;
  Selected = other->Selected;
  OEMConvert = other->OEMConvert;
}

void TZipHeaderInfo::ToOEM(std::string& s) const {
  if (OEMConvert) s = platform::AnsiToOem(s);
}

void TZipHeaderInfo::FromOEM(std::string& s) const {
  if (OEMConvert) s = platform::OemToAnsi(s);
}

void TEndCentral::Clear() {
  Record = end_of_central{};
  Record.Signature = gEndSig;
  ZipComment.reset();
  ZipCommentPos = 0;
}

bool TEndCentral::ReadFromStream(TStream& stream) {
  const int64_t size = stream.Size();
  if (size < kEndCentralSize) return size == 0;
  const int64_t span = std::min<int64_t>(size, kMaxCommentLength + kEndCentralSize);
  std::vector<uint8_t> tail(static_cast<size_t>(span));
  stream.Seek(size - span, soFromBeginning);
  if (stream.Read(tail.data(), span) != span) return false;
  const uint8_t first = static_cast<uint8_t>(gEndSig & 0xFF);
  for (int64_t i = span - kEndCentralSize; i >= 0; --i) {
    if (tail[static_cast<size_t>(i)] != first || GetLE32(&tail[static_cast<size_t>(i)]) != gEndSig) continue;
    Record.Decode(&tail[static_cast<size_t>(i)]);
    ZipComment.reset();
    ZipCommentPos = static_cast<uint32_t>(size - span + i + kEndCentralSize);
    return true;
  }
  return false;
}

void TEndCentral::SaveToStream(TStream& stream) {
  const std::string comment = ZipComment && Record.ZipCommentLength ? *ZipComment : std::string();
  Record.ZipCommentLength = static_cast<uint16_t>(std::min<size_t>(comment.size(), kMaxCommentLength));
  uint8_t raw[kEndCentralSize];
  Record.Encode(raw);
  stream.WriteBuffer(raw, kEndCentralSize);
  stream.WriteBuffer(comment.data(), Record.ZipCommentLength);
}

std::optional<std::string> TEndCentral::GetZipComment(TStream& stream) const {
  if (Record.ZipCommentLength == 0) return std::nullopt;
  if (ZipComment) return ZipComment;
  std::string text(Record.ZipCommentLength, '\0');
  stream.Seek(ZipCommentPos, soFromBeginning);
  const int64_t n = stream.Read(text.data(), Record.ZipCommentLength);
  text.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
  return text;
}

void TEndCentral::SetNewZipComment(const std::string& comment) {
  ZipComment = StrToPChar(comment.substr(0, kMaxCommentLength));
  Record.ZipCommentLength = static_cast<uint16_t>(PCharToStr(ZipComment).size());
}

void TEndCentral::SetFromEndCentral(const end_of_central& rec) {
  Record = rec;
  ZipCommentPos = 0;
  ZipComment.reset();
}

void TEndCentral::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TEndCentral*>(&source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  Record = other->Record;
  ZipComment = other->ZipComment;
  ZipCommentPos = other->ZipCommentPos;
}

int TSortedZip::Compare(const TPersistent* a, const TPersistent* b) const {
  const auto* x = static_cast<const TZipHeaderInfo*>(a);
  const auto* y = static_cast<const TZipHeaderInfo*>(b);
  auto dateOf = [](const TZipHeaderInfo* e) {
    platform::TDateTime d = 0;
    return platform::DosDateTimeToDateTime(e->DateTime, d) ? d : 0.0;
  };
  switch (SortMode) {
    case ByName: return CompareTextAscii(x->Directory + x->FileName, y->Directory + y->FileName);
    case ByFileName: return CompareTextAscii(x->FileName, y->FileName);
    case ByDirectoryName: return CompareTextAscii(x->Directory, y->Directory);
    case ByDate: {
      const double dx = dateOf(x), dy = dateOf(y);
      return dx > dy ? -1 : dx < dy ? 1 : -1;
    }
    case ByCompressedSize:
      return x->CompressedSize > y->CompressedSize ? -1 : x->CompressedSize < y->CompressedSize ? 1 : -1;
    case ByUnCompressedSize:
      return x->UncompressedSize > y->UncompressedSize ? -1 : x->UncompressedSize < y->UncompressedSize ? 1 : -1;
    case ByRate:
      return CRate(y->UncompressedSize, y->CompressedSize) - CRate(x->UncompressedSize, x->CompressedSize);
    case ByNone:
    default:
      if (x->DiskNumberStart != y->DiskNumberStart) return x->DiskNumberStart < y->DiskNumberStart ? -1 : 1;
      if (x->RelativeOffset != y->RelativeOffset) return x->RelativeOffset < y->RelativeOffset ? -1 : 1;
      return 0;
  }
}

}  // namespace zip
