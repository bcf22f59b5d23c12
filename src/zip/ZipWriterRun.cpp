#include "zip/ZipWriterRun.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/DesktopPrompts.h"
#include "platform/DosFiles.h"
#include "platform/FileNames.h"
#include "zip/BufferStream.h"
#include "zip/DirSearch.h"
#include "zip/Wildcard.h"
#include "zip/ZipFileUtils.h"

namespace zip {

namespace {

// The largest value a 32-bit size or offset field may hold: 0xFFFFFFFF
// itself tells readers to look for 64-bit fields this format never writes.
constexpr int64_t kMax32 = 0xFFFFFFFE;
constexpr int kMaxEntries = 65535;
constexpr int kChunk = 16384;

const char* const kLimitMessage = "Archive too large for the zip format";

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

using platform::ChangeFileExt;
using platform::ExtractFileName;
using platform::ExtractFilePath;

// The archive stream behind a check: a short write means the disk is full
// (or the part is), and nothing that follows may be written as if it was not.
class TCheckedStream : public TStream {
 public:
  TCheckedStream(TStream* target, int64_t* written) : target_(target), written_(written) {}
  int64_t Read(void* buffer, int64_t count) override { return target_->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t n = target_->Write(buffer, count);
    if (n != count) throw ENotEnoughRoom("Not enough room to write archive");
    *written_ += n;
    return n;
  }
  int64_t Seek(int64_t offset, int origin) override { return target_->Seek(offset, origin); }
  int64_t Size() override { return target_->Size(); }

 private:
  TStream* target_;
  int64_t* written_;
};

}  // namespace

// Entry data goes through the caller's cipher when one is hooked in; the
// 12-byte header always uses the built-in one.
static void EncryptEntryData(TZipWriter& w, TZipEncoder& encoder, uint8_t* data, size_t size) {
  if (w.OnEncrypt) {
    w.OnEncrypt(&w, data, static_cast<int>(size), w.Password);
  } else {
    encoder.EncodeBuffer(data, size);
  }
}

// What the compressor reads: the file, stream or buffer being added, with the
// CRC, progress and (when encrypting first) the cipher applied on the way.
class TEntryInput : public TDeflateInput {
 public:
  TEntryInput(TZipWriteRun& run, TZipWriter& w, TStream* stream, const char* buffer, int64_t size)
      : run_(run), w_(w), stream_(stream), buffer_(buffer), size_(size) {}

  size_t Read(uint8_t* out, size_t size) override {
    size_t n;
    if (buffer_) {
      n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(size), size_ - pos_));
      std::memcpy(out, buffer_ + pos_, n);
    } else {
      int64_t got = stream_->Read(out, static_cast<int64_t>(size));
      n = got > 0 ? static_cast<size_t>(got) : 0;
    }
    if (n == 0) return 0;
    pos_ += static_cast<int64_t>(n);
    if (pos_ > kMax32) throw EZipLimitExceeded(kLimitMessage);
    crc = Crc32Update(crc, out, n);
    if (w_.OnFilePercentDone) w_.OnFilePercentDone(&w_, CRate(size_, pos_));
    run_.AddDone(static_cast<int64_t>(n));
    if (encoder) EncryptEntryData(w_, *encoder, out, n);
    return n;
  }

  int64_t BytesRead() const { return pos_; }
  uint32_t crc = 0xFFFFFFFF;
  TZipEncoder* encoder = nullptr;

 private:
  TZipWriteRun& run_;
  TZipWriter& w_;
  TStream* stream_;
  const char* buffer_;
  int64_t size_;
  int64_t pos_ = 0;
};

// What the compressor writes: encrypted (by OnEncrypt or the built-in
// cipher) when a password is set, then into the archive or staging file.
class TEntryOutput : public TDeflateOutput {
 public:
  TEntryOutput(TZipWriteRun& run, TZipWriter& w, TStream& target) : run_(run), w_(w), target_(target) {}

  void Write(const uint8_t* data, size_t size) override {
    const uint8_t* src = data;
    if (encoder) {
      scratch_.assign(data, data + size);
      EncryptEntryData(w_, *encoder, scratch_.data(), size);
      src = scratch_.data();
    }
    if (target_.Write(src, static_cast<int64_t>(size)) != static_cast<int64_t>(size)) {
      throw ENotEnoughRoom("Not enough room to write archive");
    }
    written += static_cast<int64_t>(size);
    if (written > kMax32) throw EZipLimitExceeded(kLimitMessage);
    run_.PollCancel();
  }

  int64_t written = 0;
  TZipEncoder* encoder = nullptr;

 private:
  TZipWriteRun& run_;
  TZipWriter& w_;
  TStream& target_;
  std::vector<uint8_t> scratch_;
};

TZipWriteRun::TZipWriteRun(TZipWriter& writer, TZipWriter::TRunKind kind) : w_(writer), kind_(kind) {}

TZipWriteRun::~TZipWriteRun() {
  checked_.reset();
  ownedOut_.reset();
  for (const auto& name : tempFiles_) platform::RemoveFile(name);
}

void TZipWriteRun::PollCancel() {
  if (!w_.DoProcessMessages) return;
  platform::PumpEvents();
  if (w_.cancel_) {
    w_.cancel_ = false;
    throw EUserCanceled("User Aborted Operation");
  }
}

void TZipWriteRun::AddDone(int64_t bytes) {
  doneBytes_ += bytes;
  ReportTotal();
}

// 100 is said once, when the archive is complete.
void TZipWriteRun::ReportTotal() {
  if (!w_.OnTotalPercentDone) return;
  w_.OnTotalPercentDone(&w_, std::min(99, CBigRate(static_cast<double>(totalBytes_), static_cast<double>(doneBytes_))));
}

void TZipWriteRun::WriteArchive(const void* data, int64_t size) {
  if (!Multi()) {
    checked_->WriteBuffer(data, size);
    return;
  }
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (RoomLeft() <= 0) {
      if (partWritten_ > 0) NextPart();
      // A part the settings leave no room in still takes a byte at a time.
      if (RoomLeft() <= 0) partRoom_ = partWritten_ + 1;
    }
    int64_t n = std::min(size, RoomLeft());
    checked_->WriteBuffer(p, n);
    p += n;
    size -= n;
  }
}

int TZipWriteRun::Execute() {
  w_.cancel_ = false;
  if (w_.ZipName().empty() && !w_.ArchiveStream()) return 0;
  w_.busy_ = true;
  savedSortMode_ = w_.SortMode();
  savedKeepZipOpen_ = w_.keepZipOpen_;
  w_.keepZipOpen_ = true;
  // However the run ends, the component is left idle with its settings back
  // and an empty file list.
  struct TRestore {
    TZipWriteRun& run;
    ~TRestore() {
      TZipWriter& w = run.w_;
      w.keepZipOpen_ = run.savedKeepZipOpen_;
      w.CloseZip();
      if (w.sortMode_ != run.savedSortMode_) {
        try {
          w.Sort(run.savedSortMode_);
        } catch (...) {
          // An order that cannot be had leaves the archive order in place.
        }
      }
      w.busy_ = false;
      w.FilesList.clear();
    }
  } restore{*this};
  try {
    w_.Sort(ByNone);
    Run();
  } catch (...) {
    Fail();
    throw;
  }
  // The archive's new directory is what the caller sees next (a split set
  // is read through its parts, on demand).
  if (w_.ArchiveStream() || (!Multi() && w_.moveTarget_.empty())) w_.ReadZip();
  return kind_ == TZipWriter::TRunKind::Delete ? deleted_ : filesZipped_;
}

void TZipWriteRun::Run() {
  multiMode_ = w_.ArchiveStream() ? mmNone : w_.GetMultiMode();
  partBase_ = platform::UnixToDosPath(w_.ZipName());
  if (kind_ == TZipWriter::TRunKind::Split) {
    multiMode_ = mmBlocks;
    std::string dest = platform::UnixToDosPath(w_.DestDir());
    if (!dest.empty()) {
      if (!ForceDirs(dest)) throw ECantWriteUCF("Could not create " + dest);
      if (dest.back() != '\\') dest += '\\';
      partBase_ = dest + ExtractFileName(partBase_);
    }
  }
  if (kind_ == TZipWriter::TRunKind::Files && !w_.FilesList.empty()) ExpandFileList();
  if (kind_ == TZipWriter::TRunKind::FromBuffer) totalBytes_ = w_.sourceAmount_;
  if (kind_ == TZipWriter::TRunKind::FromStream) totalBytes_ = w_.sourceStream_->Size();
  // Splitting copies the archive: its bytes are the work.
  if (kind_ == TZipWriter::TRunKind::Split) totalBytes_ = w_.ZipSize();
  if (Multi()) ComputeFirstRoom();
  OpenTarget();

  if (olderExists_) ProcessOlderEntries();

  if (kind_ != TZipWriter::TRunKind::Delete && !w_.FilesList.empty()) {
    bool stopNow = false;
    if (w_.OnStartZipInfo) {
      double total = static_cast<double>(totalBytes_) * (Multi() ? 2 : 1);
      w_.OnStartZipInfo(&w_, static_cast<int>(w_.FilesList.size()), total, newEnd_, stopNow);
    }
    if (stopNow) throw EUserCanceled("User canceled Zip operation");
    if (Multi()) totalBytes_ *= 2;
    std::vector<std::string> names = w_.FilesList;
    for (const auto& name : names) {
      if (AddFileToZip(name)) ++filesZipped_;
    }
  }
  WriteCentralDirectory();
  WriteEndRecord();
  FinishOutput();
  Succeed();
}

// --- file list -----------------------------------------------------------

std::string TZipWriteRun::StoredFolder(const std::string& fName) const {
  if (!w_.StorePaths()) return std::string();
  std::string folder = ExtractFilePath(fName);
  std::string root = platform::UnixToDosPath(w_.RootDir());
  if (w_.RelativePaths() && !root.empty() && Lower(folder).compare(0, root.size(), Lower(root)) == 0) {
    folder = folder.substr(root.size());
  }
  if (!w_.StoreVolumes()) {
    if (folder.size() >= 2 && folder[1] == ':') folder = folder.substr(2);
    if (!folder.empty() && folder[0] == '\\') folder = folder.substr(1);
  }
  if (folder == "\\") folder.clear();
  return folder;
}

// Entry names compare exactly: names that differ only in case are two files
// here, and each keeps its own entry.
bool TZipWriteRun::KeepForFreshen(const std::string& fName) {
  if (w_.ZipAction != zaFreshen) return true;
  const std::string full = StoredName(fName);
  for (int i = 0; i < w_.Count(); ++i) {
    if (w_.Entry(i)->FullName() == full) return true;
  }
  return false;
}

// A file the caller named that is not there is left out; the count Zip
// returns tells how many were packed.
void TZipWriteRun::NoSuchFile(const std::string& fName) {
  if (w_.OnNoSuchFile) w_.OnNoSuchFile(&w_, fName);
}

void TZipWriteRun::AddFound(const std::string& fName, int64_t size) {
  w_.FilesList.push_back(fName);
  totalBytes_ += size;
}

void TZipWriteRun::ExpandFileList() {
  totalBytes_ = 0;
  if (w_.ZipAction == zaFreshen && (w_.ArchiveStream() || platform::FileExists(w_.ZipName()))) w_.ReadZip();
  std::vector<std::string> wild;
  std::vector<std::string> kept;
  const std::string root = platform::UnixToDosPath(w_.RootDir());
  for (const std::string& item : w_.FilesList) {
    std::string name = platform::UnixToDosPath(item);
    if (!name.empty() && name.back() == '\\') {
      kept.push_back(name);
      continue;
    }
    if (IsWildCard(name)) {
      wild.push_back(name);
      continue;
    }
    if (ExtractFilePath(name).empty()) name = root + name;
    if (w_.IsInExcludeList(name)) continue;
    auto size = platform::FileSizeOf(name);
    if (!platform::FileExists(name) || !size) {
      NoSuchFile(name);
      continue;
    }
    if (w_.SkipIfArchiveBitNotSet && !(platform::FileGetAttr(name) & platform::faArchive)) continue;
    if (!KeepForFreshen(name)) continue;
    kept.push_back(name);
    totalBytes_ += *size;
  }
  w_.FilesList = kept;

  const std::string self = platform::UnixToDosPath(w_.ZipName());
  for (std::string pattern : wild) {
    bool recurse = w_.Recurse();
    if (pattern[0] == '|' || pattern[0] == '>') {
      recurse = pattern[0] == '>';
      pattern.erase(0, 1);
    }
    std::string dir, mask;
    if (!IsWildCard(pattern) && platform::DirExists(pattern)) {
      dir = pattern;
      mask = "*.*";
    } else {
      dir = ExtractFilePath(pattern);
      mask = ExtractFileName(pattern);
      if (dir.empty()) dir = root;
    }
    TDirSearch search(dir, mask, recurse);
    TSearchRec rec;
    for (std::string found = search.NextFile(rec); !found.empty(); found = search.NextFile(rec)) {
      if (w_.OnRecursingFile) w_.OnRecursingFile(&w_, found);
      if (found.back() == '\\') {
        if (recurse && w_.AddDirEntriesOnRecurse) AddFound(found, 0);
      } else if (!w_.IsInExcludeList(found) && found != self &&
                 !(w_.SkipIfArchiveBitNotSet && !(platform::FileGetAttr(found) & platform::faArchive)) &&
                 KeepForFreshen(found)) {
        AddFound(found, rec.size);
      }
      PollCancel();
    }
  }
}

// --- target --------------------------------------------------------------

std::string TZipWriteRun::PartName(int disk) const {
  char ext[16];
  std::snprintf(ext, sizeof ext, ".%03d", disk + 1);
  return ChangeFileExt(partBase_, ext);
}

void TZipWriteRun::ComputeFirstRoom() {
  const TMultiZipInfo& info = w_.MultiZipInfo();
  int64_t reserve = info.SaveOnFirstDisk;
  if (info.SaveZipInfoOnFirstDisk) {
    int64_t perFile = 58 + (w_.StorePaths() ? 25 : 0);
    reserve += perFile * static_cast<int64_t>(w_.FilesList.size()) + 2070;
    if (auto comment = w_.endCentral_.ZipComment) reserve += static_cast<int64_t>(comment->size());
  }
  if (multiMode_ == mmBlocks) {
    partRoom_ = info.FirstBlockSize - reserve;
  } else {
    partRoom_ = platform::DiskFree(ExtractFilePath(platform::UnixToDosPath(w_.ZipName())).empty()
                                       ? platform::CurrentDir()
                                       : ExtractFilePath(platform::UnixToDosPath(w_.ZipName()))) -
                reserve;
  }
}

void TZipWriteRun::OpenPart(const std::string& name) {
  checked_.reset();
  ownedOut_.reset();
  if (multiMode_ == mmBlocks) {
    // Numbered parts are written beside their names and renamed once the set
    // is whole: a failed run leaves an older set as it was.
    const std::string folder = ExtractFilePath(name);
    std::unique_ptr<TFileStream> temp;
    try {
      temp = TFileStream::CreateTemp(folder.empty() ? platform::CurrentDir() : folder, "pzp");
    } catch (const platform::Exception&) {
      throw ECantWriteUCF("Could not create " + name);
    }
    tempFiles_.push_back(temp->FileName());
    partTemps_.push_back(temp->FileName());
    ownedOut_ = std::make_unique<TLFNFileStream>(std::move(temp), true, w_.BufferSize);
  } else {
    // A disk of a spanned set holds the one file of the archive's name.
    platform::RemoveFile(name);
    ownedOut_ = std::make_unique<TLFNFileStream>(name, platform::fmCreate, true, w_.BufferSize);
  }
  partsWritten_.push_back(name);
  out_ = ownedOut_.get();
  partWritten_ = 0;
  checked_ = std::make_unique<TCheckedStream>(out_, &partWritten_);
}

void TZipWriteRun::OpenTarget() {
  const std::string zipName = platform::UnixToDosPath(w_.ZipName());
  finalTarget_ = w_.moveTarget_.empty() ? zipName : platform::UnixToDosPath(w_.moveTarget_);
  if (w_.ArchiveStream()) {
    if (w_.Count() >= 1 || (w_.ReadZip(), w_.Count() >= 1)) {
      olderExists_ = true;
      memoryTarget_ = std::make_unique<TMemoryStream>();
      out_ = memoryTarget_.get();
    } else {
      out_ = w_.ArchiveStream();
      out_->SetSize(0);
      out_->SetPosition(0);
    }
  } else if (Multi()) {
    if (kind_ == TZipWriter::TRunKind::Split) {
      w_.OpenZip();
      RefuseParted();
      olderExists_ = true;
    }
    OpenPart(multiMode_ == mmBlocks ? PartName(0) : zipName);
  } else {
    // A stub run that is not a conversion writes a new archive whatever the
    // target held before.
    const bool update = platform::FileExists(zipName) && !(w_.stubStream_ && w_.moveTarget_.empty());
    if (update) {
      // Reading first: an existing file that is not an archive stops the run
      // here, before anything is created.
      w_.OpenZip();
      RefuseParted();
      olderExists_ = true;
    }
    // New or updated, the archive is written beside its final name and only
    // renamed into place once complete, so a failed run never leaves a
    // damaged archive where a good one (or none) was.
    std::string folder = ExtractFilePath(finalTarget_);
    if (folder.empty()) folder = platform::CurrentDir();
    std::unique_ptr<TFileStream> temp;
    try {
      temp = TFileStream::CreateTemp(folder, "pzt");
    } catch (const platform::Exception&) {
      throw ECantWriteUCF("Could not create a temporary archive in " + folder);
    }
    tempFiles_.push_back(temp->FileName());
    outIsTemp_ = true;
    ownedOut_ = std::make_unique<TLFNFileStream>(std::move(temp), true, w_.BufferSize);
    out_ = ownedOut_.get();
  }
  if (!checked_) checked_ = std::make_unique<TCheckedStream>(out_, &partWritten_);

  newEnd_.Clear();
  if (olderExists_ || w_.endCentral_.ZipComment) {
    newEnd_.Assign(w_.endCentral_);
    if (w_.endCentral_.ZipHasComment() && !newEnd_.ZipComment) {
      newEnd_.ZipComment = w_.endCentral_.GetZipComment(*w_.zip_);
    }
    newEnd_.Record.EntriesOnThisDisk = 0;
    newEnd_.Record.TotalEntries = 0;
  }

  if (w_.stubStream_) {
    w_.stubStream_->SetPosition(0);
    std::vector<uint8_t> buf(kChunk);
    for (;;) {
      int64_t n = w_.stubStream_->Read(buf.data(), kChunk);
      if (n <= 0) break;
      WriteArchive(buf.data(), n);
    }
  }
}

// --- older entries -------------------------------------------------------

// The entry name a run gives an item of FilesList: a file's name with its
// folder as the path settings say, a stream's or buffer's name as given.
std::string TZipWriteRun::StoredName(const std::string& fName) const {
  std::string name = platform::UnixToDosPath(fName);
  // A name with characters no code page has is stored as UTF-8, unfiltered.
  if (w_.OEMConvert && !platform::NameHasDiskBytes(name)) OemFilter(name);
  if (!name.empty() && name.back() == '\\') {
    if (w_.StorePaths()) return StoredFolder(name);
    // Without paths a folder entry keeps its last folder name: an entry
    // with no name at all could not be read back.
    return ExtractFileName(name.substr(0, name.size() - 1)) + "\\";
  }
  return StoredFolder(name) + ExtractFileName(name);
}

bool TZipWriteRun::NameMatchesEntry(const std::string& fName, const TZipHeaderInfo& entry) const {
  const std::string full = entry.FullName();
  if (kind_ == TZipWriter::TRunKind::Delete) {
    std::string name = platform::UnixToDosPath(fName);
    if (!IsWildCard(name)) return Lower(name) == Lower(full);
    return IsMatch(Lower(name), Lower(name.find('\\') != std::string::npos ? full : entry.FileName));
  }
  return StoredName(fName) == full;
}

void TZipWriteRun::ProcessOlderEntries() {
  TStream* older = w_.zip_;
  std::vector<TZipHeaderInfo*> olderEntries;
  for (int i = 0; i < w_.Count(); ++i) olderEntries.push_back(w_.Entry(i));
  const bool deleteSelected = kind_ == TZipWriter::TRunKind::Delete && w_.SelectedCount() > 0;

  if (w_.keepPrefix_ && !olderEntries.empty()) {
    uint32_t first = olderEntries.front()->RelativeOffset;
    for (auto* e : olderEntries) first = std::min(first, e->RelativeOffset);
    if (first > 0) {
      older->SetPosition(0);
      std::vector<uint8_t> buf(kChunk);
      int64_t left = first;
      while (left > 0) {
        int64_t n = std::min<int64_t>(left, kChunk);
        older->ReadBuffer(buf.data(), n);
        WriteArchive(buf.data(), n);
        left -= n;
      }
    }
  }

  for (int index = 0; index < static_cast<int>(olderEntries.size()); ++index) {
    TZipHeaderInfo* source = olderEntries[index];
    auto entry = std::make_unique<TZipHeaderInfo>();
    entry->Assign(*source);
    if (entry->HasComment() && !entry->FileComment) entry->FileComment = source->GetFileComment(*older);

    if (entry->MatchFlag == kCheckBad) continue;

    bool keep = true;
    bool matched = false;
    if (deleteSelected) {
      if (source->Selected) {
        source->Selected = 0;
        bool skip = false;
        if (w_.OnDeleteEntry) w_.OnDeleteEntry(&w_, entry->FullName(), skip);
        if (!skip) {
          ++deleted_;
          keep = false;
        }
      }
    } else {
      for (size_t k = 0; k < w_.FilesList.size(); ++k) {
        const std::string fName = w_.FilesList[k];
        if (!NameMatchesEntry(fName, *entry)) continue;
        matched = true;
        if (kind_ == TZipWriter::TRunKind::Delete) {
          bool skip = false;
          if (w_.OnDeleteEntry) w_.OnDeleteEntry(&w_, entry->FullName(), skip);
          if (!skip) {
            ++deleted_;
            keep = false;
            if (!IsWildCard(fName)) w_.FilesList.erase(w_.FilesList.begin() + static_cast<long>(k));
          }
          break;
        }
        bool replace = kind_ != TZipWriter::TRunKind::Files || w_.ZipAction == zaReplace;
        if (!replace && fName.back() != '\\') {
          // zaUpdate and zaFreshen: only a newer file replaces the entry.
          auto fileDate = platform::FileDosDate(fName);
          platform::TDateTime entryTime = 0, fileTime = 0;
          platform::DosDateTimeToDateTime(entry->DateTime, entryTime);
          if (fileDate) platform::DosDateTimeToDateTime(GoodTimeStamp(*fileDate), fileTime);
          replace = entryTime < fileTime;
        }
        if (replace) {
          if (w_.OnUpdate) w_.OnUpdate(&w_, uaReplacing, index);
          w_.FilesList.erase(w_.FilesList.begin() + static_cast<long>(k));
          // A file that cannot be read (gone, or not to be opened) would
          // take the entry with it: the entry stays. One left out on purpose
          // goes with its entry, as replacing says.
          unreadable_ = false;
          if (AddFileToZip(fName)) ++filesZipped_;
          keep = unreadable_;
          if (keep) matched = false;  // told already: replacing
        } else {
          w_.FilesList.erase(w_.FilesList.begin() + static_cast<long>(k));
          if (w_.Dispose) disposeList_.push_back(fName);
        }
        break;
      }
    }
    if (!keep) continue;
    if (matched && w_.OnUpdate) w_.OnUpdate(&w_, uaKeeping, index);

    std::string extra;
    if (entry->CentralOffset > 0) KeepCentralBytes(*entry, extra);
    MoveKeptEntry(*entry);
    AppendEntry(std::move(entry), std::move(extra));
  }
}

// The older central record as it lies in the archive: its extra field is
// copied unchanged, and an entry that was not renamed keeps the very bytes
// of its name. Converting a name that was never converted on reading (one
// from a system other than DOS), or one with characters the code pages do
// not share, would rename the entry behind the user's back.
void TZipWriteRun::KeepCentralBytes(TZipHeaderInfo& entry, std::string& extra) {
  TStream* older = w_.zip_;
  uint8_t raw[kCentralHeaderSize];
  older->SetPosition(entry.CentralOffset);
  if (older->Read(raw, kCentralHeaderSize) != kCentralHeaderSize) return;
  central_file_header rec;
  rec.Decode(raw);
  if (rec.Signature != CentralSignature()) return;
  std::string name(rec.FileNameLength, '\0');
  older->ReadBuffer(name.data(), static_cast<int64_t>(name.size()));
  // As long as the entry says: a length the reader found to be false is 0.
  extra.resize(std::min(rec.ExtraFieldLength, entry.ExtraFieldLength));
  older->ReadBuffer(extra.data(), static_cast<int64_t>(extra.size()));

  // A UTF-8 name comes back as the very bytes it was read from; any other is
  // kept raw when it was not renamed.
  const std::string asRead = NameFromArchive(platform::UnixToDosPath(name), rec.VersionMadeBy, rec.Flags,
                                             entry.OEMConvert != 0, true);
  if (asRead == entry.FullName() && !(rec.Flags & kUtf8NameFlag)) {
    entry.OEMConvert = 0;
    std::string dosName = platform::UnixToDosPath(name);
    entry.SetDirectory(ExtractFilePath(dosName));
    entry.SetFileName(ExtractFileName(dosName));
  }
}

void TZipWriteRun::MoveKeptEntry(TZipHeaderInfo& entry) {
  TStream* older = w_.zip_;
  older->SetPosition(entry.RelativeOffset);
  uint8_t raw[kLocalHeaderSize];
  older->ReadBuffer(raw, kLocalHeaderSize);
  local_file_header local;
  local.Decode(raw);
  if (local.Signature != LocalSignature()) throw EBadZipFile("Not a valid zip file!");
  older->Seek(local.FileNameLength, soFromCurrent);

  CheckOffset();
  if (Multi()) EnsureRoom(kLocalHeaderSize + static_cast<int64_t>(entry.ArchiveName().size()));
  entry.LocalExtraFieldLength = local.ExtraFieldLength;
  entry.DiskNumberStart = static_cast<uint16_t>(currentDisk_);
  entry.SaveLocalToStream(*checked_);

  int64_t left = static_cast<int64_t>(local.ExtraFieldLength) + entry.CompressedSize;
  std::vector<uint8_t> buf(kChunk);
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, kChunk);
    older->ReadBuffer(buf.data(), n);
    WriteArchive(buf.data(), n);
    left -= n;
    if (kind_ == TZipWriter::TRunKind::Split) AddDone(n);
    PollCancel();
  }

  // Streamed entries carry their CRC and sizes after the data. Readers that
  // trust the flag look for it there, so it travels with the entry; a
  // descriptor that is not where the flag says is dropped with the flag.
  if (entry.HasDescriptor()) {
    uint8_t desc[16] = {};
    int64_t got = older->Read(desc, 16);
    int64_t size = 0;
    if (got >= 16 && GetLE32(desc) == kDataDescriptorSig && GetLE32(desc + 4) == entry.CRC32) {
      size = 16;
    } else if (got >= 12 && GetLE32(desc) == entry.CRC32) {
      size = 12;
    }
    if (size > 0) {
      WriteArchive(desc, size);
    } else {
      entry.Flags = static_cast<uint16_t>(entry.Flags & ~8);
      int64_t end = checked_->Position();
      checked_->SetPosition(entry.RelativeOffset);
      entry.SaveLocalToStream(*checked_);
      checked_->SetPosition(end);
    }
  }
}

void TZipWriteRun::AppendEntry(std::unique_ptr<TZipHeaderInfo> info, std::string centralExtra) {
  if (static_cast<int>(entries_.size()) >= kMaxEntries) throw EZipLimitExceeded(kLimitMessage);
  byName_.insert(info->FullName());
  entries_.push_back({std::move(info), std::move(centralExtra)});
  ++newEnd_.Record.EntriesOnThisDisk;
  ++newEnd_.Record.TotalEntries;
}

void TZipWriteRun::CheckOffset() {
  if (checked_->Position() > kMax32) throw EZipLimitExceeded(kLimitMessage);
}

// --- adding a file -------------------------------------------------------

bool TZipWriteRun::AddFileToZip(const std::string& fNameIn) {
  std::string fName = platform::UnixToDosPath(fNameIn);
  const bool isFolder = !fName.empty() && fName.back() == '\\';
  const bool fromFile = kind_ == TZipWriter::TRunKind::Files;
  auto entry = std::make_unique<TZipHeaderInfo>();
  entry->OEMConvert = w_.OEMConvert ? 1 : 0;
  std::unique_ptr<TLFNFileStream> file;
  int64_t size = 0;

  if (isFolder) {
    std::string bare = fName.substr(0, fName.size() - 1);
    auto date = platform::FileDosDate(bare);
    entry->DateTime = platform::DirExists(bare) && date ? *date : platform::DateTimeToDosDateTime(platform::Now());
    entry->CompressionMethod = 0;
    entry->CRC32 = 0;
    entry->InternalAttributes = 0;
    if (platform::DirExists(bare)) entry->ExternalAttributes = static_cast<uint32_t>(platform::FileGetAttr(bare));
  } else if (fromFile) {
    if (!platform::FileExists(fName)) {
      unreadable_ = true;
      return false;
    }
    entry->ExternalAttributes = static_cast<uint32_t>(platform::FileGetAttr(fName));
    for (;;) {
      try {
        file = std::make_unique<TLFNFileStream>(fName, platform::fmOpenRead, false, w_.BufferSize);
        break;
      } catch (const platform::Exception&) {
        bool retry = false;
        if (w_.OnSkippingFile) w_.OnSkippingFile(&w_, srFileOpenError, fName, -1, retry);
        if (!retry) {
          unreadable_ = true;
          return false;
        }
      }
    }
    entry->DateTime = platform::FileDosDate(fName).value_or(platform::DateTimeToDosDateTime(platform::Now()));
    size = file->Size();
  } else {
    entry->DateTime = platform::DateTimeToDosDateTime(platform::Now());
    size = kind_ == TZipWriter::TRunKind::FromBuffer ? w_.sourceAmount_ : w_.sourceStream_->Size();
  }
  if (size > kMax32) throw EZipLimitExceeded(kLimitMessage);
  entry->UncompressedSize = static_cast<uint32_t>(size);

  const std::string stored = StoredName(fName);
  if (stored.empty() || stored == "\\") return false;
  entry->SetFileName(ExtractFileName(stored));
  entry->SetDirectory(ExtractFilePath(stored));
  entry->RelativeOffset = static_cast<uint32_t>(std::min<int64_t>(checked_->Position(), kMax32 + 1));
  entry->DiskNumberStart = static_cast<uint16_t>(currentDisk_);

  if (byName_.count(entry->FullName())) {
    bool retry = false;
    if (w_.OnSkippingFile) w_.OnSkippingFile(&w_, srNoOverwrite, fName, -1, retry);
    totalBytes_ -= size;
    return false;
  }
  bool skip = false;
  if (w_.OnStartZip) w_.OnStartZip(&w_, fName, *entry, skip);
  if (skip) {
    totalBytes_ -= size;
    return false;
  }
  if (static_cast<int>(entries_.size()) >= kMaxEntries) throw EZipLimitExceeded(kLimitMessage);

  CheckOffset();
  if (isFolder) {
    if (Multi()) EnsureRoom(entry->LocalSize());
    entry->SaveLocalToStream(*checked_);
    if (w_.OnEndZip) w_.OnEndZip(&w_, fName, 0, 0, 0);
    AppendEntry(std::move(entry), std::string());
    return true;
  }

  TStream* input = file ? static_cast<TStream*>(file.get()) : w_.sourceStream_;
  if (input) input->SetPosition(0);
  if (!Multi()) {
    entry->SaveLocalToStream(*checked_);
    WriteEntryData(*entry, fName, input, size, *checked_);
    int64_t end = checked_->Position();
    checked_->SetPosition(entry->RelativeOffset);
    entry->SaveLocalToStream(*checked_);
    checked_->SetPosition(end);
  } else {
    // Sizes are only known after compressing, and a header cannot be
    // rewritten on a part that is already closed: compress to a staging file
    // first, then lay header and data across the parts.
    std::string staging = platform::CreateTempFile(w_.TemporaryPath(), "pzs");
    if (staging.empty()) throw ECantWriteUCF("Could not create a staging file");
    tempFiles_.push_back(staging);
    int64_t stagedBytes = 0;
    {
      TLFNFileStream stage(staging, platform::fmCreate, false, w_.BufferSize);
      TCheckedStream checkedStage(&stage, &stagedBytes);
      WriteEntryData(*entry, fName, input, size, checkedStage);
      if (!stage.FinishWrites()) throw ENotEnoughRoom("Not enough room to write archive");
    }
    EnsureRoom(entry->LocalSize());
    entry->DiskNumberStart = static_cast<uint16_t>(currentDisk_);
    CheckOffset();
    entry->SaveLocalToStream(*checked_);
    {
      TLFNFileStream stage(staging, platform::fmOpenRead, false, w_.BufferSize);
      CopyStagedData(stage, stagedBytes);
    }
    // Gone once copied: a run of many files keeps one staged at a time.
    platform::RemoveFile(staging);
    tempFiles_.pop_back();
  }
  file.reset();

  if (fromFile && w_.ResetArchiveBitOnZip) w_.ResetArchiveBit(fName);
  if (w_.Dispose && fromFile) disposeList_.push_back(fName);
  if (w_.OnEndZip) {
    w_.OnEndZip(&w_, fName, entry->UncompressedSize, entry->CompressedSize, checked_->Size());
  }
  AppendEntry(std::move(entry), std::string());
  return true;
}

void TZipWriteRun::WriteEntryData(TZipHeaderInfo& entry, const std::string& fName, TStream* input, int64_t size,
                                  TStream& target) {
  const bool encrypt = !w_.Password.empty();
  const char* buffer = kind_ == TZipWriter::TRunKind::FromBuffer ? w_.sourceBuffer_ : nullptr;

  if (encrypt) {
    // The header's check byte is the CRC's top byte, so the whole input is
    // read once before anything is written.
    uint32_t reg = 0xFFFFFFFF;
    if (buffer) {
      reg = Crc32Update(reg, reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(size));
    } else {
      std::vector<uint8_t> buf(kChunk);
      for (;;) {
        int64_t n = input->Read(buf.data(), kChunk);
        if (n <= 0) break;
        reg = Crc32Update(reg, buf.data(), static_cast<size_t>(n));
      }
      input->SetPosition(0);
    }
    uint8_t header[12];
    encoder_.CryptHead(w_.Password, ~reg, header);
    target.WriteBuffer(header, 12);
  }

  TEntryInput in(*this, w_, input, buffer, size);
  TEntryOutput out(*this, w_, target);
  if (encrypt && w_.EncryptBeforeCompress) {
    in.encoder = &encoder_;
  } else if (encrypt) {
    out.encoder = &encoder_;
  }

  const bool store = w_.PackLevel == 0 || w_.IsInNoCompressList(fName);
  if (store) {
    std::vector<uint8_t> buf(kChunk);
    for (;;) {
      size_t n = in.Read(buf.data(), buf.size());
      if (n == 0) break;
      out.Write(buf.data(), n);
    }
    entry.CompressionMethod = 0;
    entry.InternalAttributes = 0;
  } else {
    // One set of work buffers serves every file of the run.
    if (!deflater_) deflater_ = std::make_unique<TDeflater>();
    deflater_->Deflate(w_.PackLevel, in, out);
    entry.CompressionMethod = 8;
    entry.Flags = static_cast<uint16_t>(entry.Flags | TDeflater::FlagBitsForLevel(w_.PackLevel));
    entry.InternalAttributes = deflater_->InternalAttributes();
  }
  // A stream can hold more than its size said when the run began.
  if (in.BytesRead() > kMax32) throw EZipLimitExceeded(kLimitMessage);
  entry.UncompressedSize = static_cast<uint32_t>(in.BytesRead());
  entry.CRC32 = ~in.crc;
  int64_t compressed = out.written + (encrypt ? 12 : 0);
  if (compressed > kMax32) throw EZipLimitExceeded(kLimitMessage);
  entry.CompressedSize = static_cast<uint32_t>(compressed);
  if (encrypt) entry.Flags = static_cast<uint16_t>(entry.Flags | 1);
}

// --- multi-part ----------------------------------------------------------

// Entries are copied from the archive being rewritten as if it were one file;
// the parts of a set are read only for extraction.
void TZipWriteRun::RefuseParted() {
  if (w_.NumDisks() > 1) throw EIncompleteZip("Incomplete Zip File");
}

// A record is never cut. Only a part too small to hold the record alone is
// made larger than the settings say: just large enough for it.
void TZipWriteRun::EnsureRoom(int64_t size) {
  if (RoomLeft() >= size) return;
  if (partWritten_ > 0) NextPart();
  if (RoomLeft() < size) partRoom_ = partWritten_ + size;
}

void TZipWriteRun::ClosePart() {
  if (auto* file = dynamic_cast<TLFNFileStream*>(ownedOut_.get())) {
    if (!file->FinishWrites() || !file->FileStream().File().FlushToDisk()) {
      throw ENotEnoughRoom("Not enough room to write archive");
    }
  }
  checked_.reset();
  ownedOut_.reset();
  out_ = nullptr;
}

void TZipWriteRun::NextPart() {
  const TMultiZipInfo& info = w_.MultiZipInfo();
  std::string name;
  if (multiMode_ == mmSpan) {
    ClosePart();
    if (!w_.OnGetNextDisk) throw EUserCanceled("User canceled Zip operation");
    // Every disk holds a file of the archive's name.
    name = w_.ZipName();
    w_.OnGetNextDisk(&w_, currentDisk_ + 2, name);
    if (name.empty()) throw EUserCanceled("User canceled Zip operation");
    ++currentDisk_;
    name = platform::UnixToDosPath(name);
    platform::RemoveFile(name);
    if (w_.OnPrepareNextDisk) w_.OnPrepareNextDisk(&w_, currentDisk_ + 1);
    std::string folder = ExtractFilePath(name);
    partRoom_ = platform::DiskFree(folder.empty() ? platform::CurrentDir() : folder);
  } else {
    ClosePart();
    ++currentDisk_;
    name = PartName(currentDisk_);
    partRoom_ = info.BlockSize;
  }
  if (currentDisk_ > 999) throw EZipLimitExceeded(kLimitMessage);
  OpenPart(name);
  newEnd_.Record.EntriesOnThisDisk = 0;
}

void TZipWriteRun::CopyStagedData(TStream& staged, int64_t size) {
  std::vector<uint8_t> buf(kChunk);
  int64_t left = size;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, kChunk);
    staged.ReadBuffer(buf.data(), n);
    WriteArchive(buf.data(), n);
    left -= n;
    AddDone(n);
    PollCancel();
  }
}

// --- directory and end record --------------------------------------------

void TZipWriteRun::WriteCentralDirectory() {
  CheckOffset();
  newEnd_.Record.CentralOffset = static_cast<uint32_t>(checked_->Position());
  newEnd_.Record.StartOfCentralDiskNumber = static_cast<uint16_t>(currentDisk_);
  centralBytes_ = 0;
  bool first = true;
  for (auto& e : entries_) {
    const int disk = currentDisk_;
    if (Multi()) EnsureRoom(e.info->CentralSize());
    if (first && currentDisk_ != disk) {
      newEnd_.Record.CentralOffset = 0;
      newEnd_.Record.StartOfCentralDiskNumber = static_cast<uint16_t>(currentDisk_);
    }
    int64_t before = partWritten_;
    e.info->SaveCentralToStream(*checked_, e.centralExtra);
    centralBytes_ += partWritten_ - before;
    first = false;
  }
  if (centralBytes_ > kMax32 || checked_->Position() > kMax32) throw EZipLimitExceeded(kLimitMessage);
  newEnd_.Record.CentralSize = static_cast<uint32_t>(centralBytes_);
}

void TZipWriteRun::WriteEndRecord() {
  if (Multi()) EnsureRoom(newEnd_.EndCentralSize());
  newEnd_.Record.ThisDiskNumber = static_cast<uint16_t>(currentDisk_);
  newEnd_.SaveToStream(*checked_);
}

// The archive only counts as written once the last buffer is out and the
// file system has confirmed it; a run that ends here reports the failure
// and leaves the old archive alone.
void TZipWriteRun::FinishOutput() {
  if (auto* file = dynamic_cast<TLFNFileStream*>(ownedOut_.get())) {
    if (!file->FinishWrites() || !file->FileStream().File().FlushToDisk()) {
      throw ENotEnoughRoom("Not enough room to write archive");
    }
  }
  checked_.reset();
  ownedOut_.reset();
  out_ = nullptr;
}

void TZipWriteRun::Succeed() {
  const std::string zipName = platform::UnixToDosPath(w_.ZipName());
  if (olderExists_) w_.ForgetArchive();

  if (memoryTarget_) {
    // The run's memory stream is the archive from now on; the older one is freed.
    w_.archiveStream_ = std::move(memoryTarget_);
    w_.zip_ = w_.archiveStream_.get();
  } else if (outIsTemp_) {
    if (!RenameOver(tempFiles_.front(), finalTarget_)) {
      throw ECantWriteUCF("Could not replace " + finalTarget_);
    }
    tempFiles_.erase(tempFiles_.begin());
  }
  if (Multi() && multiMode_ == mmBlocks) {
    // A single part takes the archive's own name.
    if (currentDisk_ == 0)
      partsWritten_.front() = ChangeFileExt(partBase_, zipName.substr(ChangeFileExt(zipName, "").size()));
    for (size_t i = 0; i < partTemps_.size(); ++i) {
      if (!RenameOver(partTemps_[i], partsWritten_[i])) throw ECantWriteUCF("Could not replace " + partsWritten_[i]);
      tempFiles_.erase(std::find(tempFiles_.begin(), tempFiles_.end(), partTemps_[i]));
    }
    partTemps_.clear();
    if (currentDisk_ != 0) {
      w_.ForgetArchive();
      w_.SetZipName(partsWritten_.back());
    }
  }
  w_.lastParts_ = partsWritten_;
  partsWritten_.clear();

  for (const auto& name : disposeList_) {
    bool skip = false;
    if (w_.OnDisposeFile) w_.OnDisposeFile(&w_, name, skip);
    if (!skip) platform::RemoveFile(name);
  }
  w_.ForgetArchive();
  // The new directory is the archive's before the run is reported done. The
  // parts of a set are read when asked for, not here, where they would be asked for.
  if (w_.ArchiveStream() || (!Multi() && w_.moveTarget_.empty())) {
    try {
      w_.ReadZip();
    } catch (const platform::Exception&) {
      // The archive is written: a directory not had now is read on first need.
      w_.ForgetArchive();
    }
  }
  doneBytes_ = totalBytes_;
  if (w_.OnTotalPercentDone) w_.OnTotalPercentDone(&w_, 100);
  w_.lastEntryCount_ = static_cast<int>(entries_.size());
  if (Multi() && w_.MultiZipInfo().SaveZipInfoOnFirstDisk && currentDisk_ > 0) {
    std::string name = w_.ZipName();
    // The configuration file goes on the first disk of a spanned set.
    if (multiMode_ == mmSpan && w_.OnGetNextDisk) w_.OnGetNextDisk(&w_, 1, name);
    if (!name.empty()) {
      std::vector<const TZipHeaderInfo*> list;
      for (const auto& e : entries_) list.push_back(e.info.get());
      w_.WriteZipInfo(ChangeFileExt(platform::UnixToDosPath(name), ".zfc"), list, newEnd_);
    }
  }
}

void TZipWriteRun::Fail() {
  checked_.reset();
  ownedOut_.reset();
  out_ = nullptr;
  // Numbered parts are still temporary files (in tempFiles_); the files of a
  // spanned set were written in place.
  if (multiMode_ != mmBlocks)
    for (const auto& name : partsWritten_) platform::RemoveFile(name);
  partsWritten_.clear();
  // tempFiles_ go in the destructor.
}

}  // namespace zip
