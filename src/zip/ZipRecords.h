#pragma once

// The records of a zip archive (local header, central directory record, end record),
// the in-memory entry TZipHeaderInfo, the end record TEndCentral and the sorted entry
// list TSortedZip. All numbers in the archive are little-endian; sizes and offsets are
// 32 bits and counts 16 bits.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/DosFiles.h"
#include "zip/ObjectList.h"
#include "zip/ZipStreams.h"

namespace zip {

// Module-wide signatures; 0 restores a default. Set once at start-up with zeros.
void setZipSignatures(uint32_t central, uint32_t local, uint32_t end);
uint32_t CentralSignature();
uint32_t LocalSignature();
uint32_t EndSignature();
constexpr uint32_t kDefaultCentralSig = 0x02014B50;
constexpr uint32_t kDefaultLocalSig = 0x04034B50;
constexpr uint32_t kDefaultEndSig = 0x06054B50;
constexpr uint32_t kDataDescriptorSig = 0x08074B50;

// General purpose flag bit 11: the entry's name (and comment) are UTF-8.
constexpr uint16_t kUtf8NameFlag = 0x0800;

// An entry name as the archive stores it ('/' already turned into '\\'), made
// into our 8-bit name. UTF-8 is honoured where the archive says so (flag bit
// 11) and, for names from Unix hosts, where the bytes are well-formed UTF-8:
// those tools write the names of the system they run on. Names from DOS hosts
// are in the DOS code page and are converted when `oem` is set.
std::string NameFromArchive(const std::string& stored, uint16_t versionMadeBy, uint16_t flags, bool oem,
                            bool fromCentral);

constexpr int kLocalHeaderSize = 30;
constexpr int kCentralHeaderSize = 46;
constexpr int kEndCentralSize = 22;
constexpr int kMaxCommentLength = 65535;

// Little-endian field access on raw record bytes.
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct local_file_header {
  uint32_t Signature = kDefaultLocalSig;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t CompressionMethod = 8;
  uint32_t DateTime = 0;
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;

  void Decode(const uint8_t* p);  // 30 bytes
  void Encode(uint8_t* p) const;
};

struct central_file_header {
  uint32_t Signature = kDefaultCentralSig;
  uint16_t VersionMadeBy = 20;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t CompressionMethod = 8;
  uint32_t DateTime = 0;
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t RelativeOffset = 0;

  void Decode(const uint8_t* p);  // 46 bytes
  void Encode(uint8_t* p) const;
};

struct end_of_central {
  uint32_t Signature = kDefaultEndSig;
  uint16_t ThisDiskNumber = 0;
  uint16_t StartOfCentralDiskNumber = 0;
  uint16_t EntriesOnThisDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t CentralSize = 0;
  uint32_t CentralOffset = 0;
  uint16_t ZipCommentLength = 0;

  void Decode(const uint8_t* p);  // 22 bytes
  void Encode(uint8_t* p) const;
};

// Called when a central record runs past the end of a disk; replaces the stream with
// the next disk's (or leaves it, when there is none).
using TNewDiskEvent = std::function<void(TPersistent* sender, TStream*& stream)>;

// Integrity states of an entry.
constexpr uint8_t kCheckUntested = 0;
constexpr uint8_t kCheckGood = 1;
constexpr uint8_t kCheckBad = 2;

class TZipHeaderInfo : public TPersistent {
 public:
  TZipHeaderInfo() { Clear(); }
  // The fields a record does not carry start from the defaults.
  TZipHeaderInfo(const central_file_header& rec, const std::string& name) {
    Clear();
    SetFromCentral(rec, name);
  }
  TZipHeaderInfo(const local_file_header& rec, const std::string& name) {
    Clear();
    SetFromLocal(rec, name);
  }
  std::string ClassName() const override { return "TZipHeaderInfo"; }

  void Clear();
  void SetFromCentral(const central_file_header& rec, const std::string& name);
  void SetFromLocal(const local_file_header& rec, const std::string& name);
  // Never raise: False with the stream position restored. The extra field and comment
  // after a central record are left for the caller to skip.
  bool ReadCentralFromStream(TStream*& stream, const TNewDiskEvent& newDisk = nullptr);
  bool ReadLocalFromStream(TStream& stream);
  void SaveLocalToStream(TStream& stream);
  void SaveCentralToStream(TStream& stream, const std::string& extraField = {});

  void SetFileName(const std::string& name);
  void SetDirectory(const std::string& dir);
  void SetDateTime(platform::TDateTime value);
  void SetFileComment(const std::optional<std::string>& comment);
  void SetNewFileComment(const std::string& comment);
  // Reads the comment from the archive when it is not held; none when there is none.
  std::optional<std::string> GetFileComment(TStream& stream) const;

  bool HasComment() const { return FileCommentLength > 0; }
  bool IsEncrypted() const { return (Flags & 1) != 0; }
  bool HasDescriptor() const { return (Flags & 8) != 0; }
  // The sizes the records take when written: the name counted as ArchiveName gives it.
  int64_t LocalSize() const { return kLocalHeaderSize + static_cast<int64_t>(ArchiveName().size()) + LocalExtraFieldLength; }
  int64_t CentralSize() const {
    return kCentralHeaderSize + static_cast<int64_t>(ArchiveName().size()) + ExtraFieldLength + FileCommentLength;
  }
  // Directory plus file name, as held ("\" separators).
  std::string FullName() const { return Directory + FileName; }
  // The name as stored in the archive: "/" separators; UTF-8 when the name holds
  // characters no code page has, or came as UTF-8 (`utf8` tells), else OEM when
  // converting.
  std::string ArchiveName(bool* utf8 = nullptr) const;

  void Assign(const TPersistent& source) override;
  void ToOEM(std::string& s) const;
  void FromOEM(std::string& s) const;

  uint16_t VersionMadeBy;
  uint16_t VersionNeeded;
  uint16_t Flags;
  uint16_t CompressionMethod;
  uint32_t DateTime;
  uint32_t CRC32;
  uint32_t CompressedSize;
  uint32_t UncompressedSize;
  uint16_t FileNameLength;
  uint16_t ExtraFieldLength;
  uint16_t LocalExtraFieldLength;
  uint16_t FileCommentLength;
  uint16_t DiskNumberStart;
  uint16_t InternalAttributes;
  uint32_t ExternalAttributes;
  uint32_t RelativeOffset;
  uint32_t CentralOffset;
  std::string FileName;
  std::string Directory;
  std::optional<std::string> FileComment;  // held only when loaded or set
  uint8_t MatchFlag;  // integrity state: kCheckUntested, kCheckGood, kCheckBad
  uint8_t Selected;
  uint8_t OEMConvert;

 private:
  void SplitName(const std::string& name);
};

class TEndCentral : public TPersistent {
 public:
  TEndCentral() { Clear(); }
  std::string ClassName() const override { return "TEndCentral"; }
  void Clear();
  bool ReadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);
  std::optional<std::string> GetZipComment(TStream& stream) const;
  void SetNewZipComment(const std::string& comment);
  void SetFromEndCentral(const end_of_central& rec);
  bool ZipHasComment() const { return Record.ZipCommentLength > 0; }
  int64_t EndCentralSize() const { return kEndCentralSize + Record.ZipCommentLength; }
  void Assign(const TPersistent& source) override;

  end_of_central Record;
  std::optional<std::string> ZipComment;
  uint32_t ZipCommentPos = 0;
};

enum TZipSortMode { ByName, ByFileName, ByDirectoryName, ByDate, ByCompressedSize, ByUnCompressedSize, ByRate, ByNone };

class TSortedZip : public TSortedObjectList {
 public:
  explicit TSortedZip(TDuplicates duplicates = dupAccept) : TSortedObjectList(duplicates) {}
  std::string ClassName() const override { return "TSortedZip"; }
  int Compare(const TPersistent* item1, const TPersistent* item2) const override;
  TZipHeaderInfo* Item(int index) const { return static_cast<TZipHeaderInfo*>(Get(index)); }

  TZipSortMode SortMode = ByNone;
};

}  // namespace zip
