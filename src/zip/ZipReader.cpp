#include "zip/ZipReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/DesktopPrompts.h"
#include "zip/BufferStream.h"
#include "zip/ZipFileUtils.h"

namespace zip {

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

// The local header's version field: a low byte no newer than any published format
// and a host number in the range hosts use.
bool PlausibleVersion(uint16_t v) { return (v & 0xFF) <= 63 && (v >> 8) <= 30; }

std::string WithExtension(const std::string& name, const std::string& ext) {
  const size_t slash = name.find_last_of("\\/");
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ext;
  return name.substr(0, dot) + ext;
}

// Past the records the count promised, the directory may end in other bytes;
// a record signature there means a record that could not be read.
bool AtCentralRecord(TStream& stream) {
  const int64_t at = stream.Position();
  uint8_t sig[4];
  const bool found = stream.Read(sig, 4) == 4 && GetLE32(sig) == CentralSignature();
  stream.Seek(at, soFromBeginning);
  return found;
}

// Each byte of an archive belongs to at most one entry. Records sharing their
// data (or one entry's header lying inside another's data) would let a small
// archive unpack many times its size, so such a directory counts as damaged.
// The local header is counted at its least, since only the directory is read.
void RefuseOverlaps(const TSortedZip& entries) {
  struct TSpan {
    int disk;
    int64_t start, end;
  };
  std::vector<TSpan> spans;
  spans.reserve(static_cast<size_t>(entries.Count()));
  for (int i = 0; i < entries.Count(); ++i) {
    const TZipHeaderInfo* e = entries.Item(i);
    const int64_t start = e->RelativeOffset;
    spans.push_back({e->DiskNumberStart, start, start + kLocalHeaderSize + static_cast<int64_t>(e->CompressedSize)});
  }
  std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) {
    return a.disk != b.disk ? a.disk < b.disk : a.start < b.start;
  });
  for (size_t i = 1; i < spans.size(); ++i)
    if (spans[i].disk == spans[i - 1].disk && spans[i].start < spans[i - 1].end)
      throw EBadZipFile("Not a valid zip file!");
}

}  // namespace

TZipReader::TZipReader(TComponent* owner) : TComponent(owner) {
  // Bound to the sender, not to this object, so that Assign may copy it.
  OnGetNextDisk = [](TZipReader* sender, int nextDisk, std::string& fName) {
    sender->DefaultGetNextDisk(sender, nextDisk, fName);
  };
}

TZipReader::~TZipReader() = default;

void TZipReader::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TZipReader*>(&source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  SetZipName(other->zipName_);
  destDir_ = other->destDir_;
  rootDir_ = other->rootDir_;
  Sort(other->sortMode_);
  RecreateDirs = other->RecreateDirs;
  OverwriteMode = other->OverwriteMode;
  FilesList = other->FilesList;
  DoAll = other->DoAll;
  IncompleteZipMode = other->IncompleteZipMode;
  SetKeepZipOpen(other->keepZipOpen_);
  DoProcessMessages = other->DoProcessMessages;
  RetainAttributes = other->RetainAttributes;
  ReplaceReadOnly = other->ReplaceReadOnly;
  OnStartUnZipInfo = other->OnStartUnZipInfo;
  OnFilePercentDone = other->OnFilePercentDone;
  OnTotalPercentDone = other->OnTotalPercentDone;
  OnStartUnZip = other->OnStartUnZip;
  OnEndUnZip = other->OnEndUnZip;
  OnPromptForOverwrite = other->OnPromptForOverwrite;
  OnSkippingFile = other->OnSkippingFile;
  OnBadPassword = other->OnBadPassword;
  OnBadCRC = other->OnBadCRC;
  OnInCompleteZip = other->OnInCompleteZip;
  OnGetNextDisk = other->OnGetNextDisk;
  OnUnZipComplete = other->OnUnZipComplete;
  OnGetNextBuffer = other->OnGetNextBuffer;
  OnDecrypt = other->OnDecrypt;
}

void TZipReader::SetZipName(const std::string& name) {
  // File names are case-sensitive here: only the very same name keeps what was read.
  if (name == zipName_) return;
  std::string chosen = name;
  if (!chosen.empty() && chosen.back() == '?') {
    std::string start = chosen.substr(0, chosen.size() - 1);
    const size_t slash = start.find_last_of("\\/");
    start = slash == std::string::npos ? std::string() : start.substr(0, slash);
    if (start.empty() || !platform::DirExists(start)) start = std::string(1, '/');
    if (!platform::AskOpenFileName("Open a Zip File",
                                   "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All "
                                   "Files (*.*)|*.*",
                                   start, chosen))
      throw EUserCanceled("User canceled setting zip file name.");
  }
  ClearZip();
  archiveStream_.reset();
  zipName_ = chosen;
}

void TZipReader::SetDestDir(const std::string& dir) {
  std::string d = dir;
  if (d == "?") {
    if (!platform::AskFolder("Set Destination Directory", destDir_, d))
      throw EUserCanceled("User canceled Set Desination Directory");
  }
  if (d.size() > 1 && (d.back() == '\\' || d.back() == '/')) d.pop_back();
  destDir_ = d;
}

void TZipReader::SetRootDir(const std::string& dir) {
  rootDir_ = dir;
  if (!rootDir_.empty() && rootDir_.back() != '\\' && rootDir_.back() != '/') rootDir_ += '\\';
}

void TZipReader::SetKeepZipOpen(bool keep) {
  keepZipOpen_ = keep;
  if (!keep && zipFile_ && !busy_) CloseZip();
}

void TZipReader::SetArchiveStream(TStream* stream) {
  ClearZip();
  archiveStream_.reset(stream);
  if (stream) keepZipOpen_ = true;
}

void TZipReader::ProcessMessages() {
  if (!DoProcessMessages) return;
  platform::PumpEvents();
  if (cancel_) throw EUserCanceled("User Aborted Operation");
}

void TZipReader::ReadZip() {
  cancel_ = false;
  OpenZip();
  CloseZip();
}

void TZipReader::OpenZip() {
  if (archiveStream_) {
    zip_ = archiveStream_.get();
  } else if (!zipFile_) {
    if (zipName_.empty()) throw ENotAZipFile("Not a valid zip file!");
    zipFile_ = std::make_unique<TLFNFileStream>(zipName_, platform::fmOpenRead | platform::fmShareDenyWrite, false,
                                                BufferSize);
    zip_ = zipFile_.get();
    openName_ = zipName_;
    currentDisk_ = zipNameDisk_;
  }
  const std::optional<uint32_t> date = archiveStream_ ? std::nullopt : platform::FileDosDate(zipName_);
  if (!entries_ || (!archiveStream_ && date != archiveDate_)) {
    try {
      if (!archiveStream_ && openName_ != zipName_) {
        // Another part of the set is open; the directory is found from ZipName.
        zipFile_.reset();
        zipFile_ = std::make_unique<TLFNFileStream>(zipName_, platform::fmOpenRead | platform::fmShareDenyWrite,
                                                    false, BufferSize);
        zip_ = zipFile_.get();
        openName_ = zipName_;
      }
      GetFileInfo();
    } catch (...) {
      // After a failed read the archive holds no entries.
      entries_.reset();
      sortView_.reset();
      endCentral_.Clear();
      if (zipFile_) {
        zipFile_.reset();
        zip_ = nullptr;
      }
      throw;
    }
  }
}

// The entries as the local headers give them, whatever the directory says.
void TZipReader::ScanZip() {
  cancel_ = false;
  ClearZipContents();
  try {
    if (archiveStream_) {
      zip_ = archiveStream_.get();
    } else {
      if (zipName_.empty()) throw ENotAZipFile("Not a valid zip file!");
      zipFile_ = std::make_unique<TLFNFileStream>(zipName_, platform::fmOpenRead | platform::fmShareDenyWrite, false,
                                                  BufferSize);
      zip_ = zipFile_.get();
      openName_ = zipName_;
      archiveDate_ = platform::FileDosDate(zipName_);
    }
    ScanLocalHeaders();
    RebuildSortView();
  } catch (...) {
    ClearZipContents();
    throw;
  }
  CloseZip();
}

void TZipReader::CloseZip() {
  if (keepZipOpen_ || archiveStream_) return;
  zipFile_.reset();
  if (!archiveStream_) zip_ = nullptr;
}

void TZipReader::ClearZip() {
  ClearZipContents();
  if (!archiveStream_) zipName_.clear();
}

void TZipReader::ClearZipContents() {
  zipFile_.reset();
  zip_ = nullptr;
  entries_.reset();
  sortView_.reset();
  endCentral_.Clear();
  archiveDate_.reset();
  scanned_ = false;
  numDisks_ = 1;
  currentDisk_ = zipNameDisk_ = 0;
  openName_.clear();
  multiMode_ = mmNone;
  selectedCount_ = 0;
  endModified_ = commentsModified_ = false;
}

bool TZipReader::ReadEndRecord(TStream& stream) {
  if (!endCentral_.ReadFromStream(stream)) return false;
  const end_of_central& r = endCentral_.Record;
  if (r.ThisDiskNumber > 999 || r.StartOfCentralDiskNumber > 999 || r.ThisDiskNumber < r.StartOfCentralDiskNumber)
    return false;
  return true;
}

void TZipReader::GetFileInfo() {
  archiveDate_ = archiveStream_ ? std::nullopt : platform::FileDosDate(zipName_);
  entries_.reset();
  sortView_.reset();
  selectedCount_ = 0;
  endCentral_.Clear();
  multiMode_ = mmNone;
  numDisks_ = 1;
  currentDisk_ = zipNameDisk_ = 0;
  bool haveEnd = ReadEndRecord(*zip_);
  // A part without the end record may have the set's directory kept beside it.
  std::unique_ptr<TStream> config;
  if (!haveEnd && !archiveStream_) {
    endCentral_.Clear();
    const std::string configName = WithExtension(zipName_, ".zfc");
    if (platform::PlainFileExists(configName)) {
      try {
        config = std::make_unique<TLFNFileStream>(configName, platform::fmOpenRead | platform::fmShareDenyWrite,
                                                  false, BufferSize);
        haveEnd = ReadEndRecord(*config);
      } catch (const platform::Exception&) {
        haveEnd = false;
      }
      if (!haveEnd) config.reset();
    }
  }
  if (!haveEnd) {
    endCentral_.Clear();
    if (!repairMode_) {
      if (OnInCompleteZip) OnInCompleteZip(this, IncompleteZipMode);
      const TIncompleteZipMode mode = IncompleteZipMode;
      if (mode == izAssumeNotAZip) throw ENotAZipFile("Not a valid zip file!");
      if (mode == izAssumeMulti) throw EIncompleteZip("Incomplete Zip File");
    }
    ScanLocalHeaders();
    RebuildSortView();
    return;
  }
  const end_of_central& r = endCentral_.Record;
  zipNameDisk_ = currentDisk_ = config ? 0 : r.ThisDiskNumber;
  numDisks_ = r.ThisDiskNumber + 1;
  if (r.ThisDiskNumber != 0) {
    // A removable medium holds one disk of a spanned set; anywhere else the
    // parts are numbered files side by side.
    multiMode_ = platform::IsRemovableDrive(zipName_) ? mmSpan : mmBlocks;
  }
  if (r.TotalEntries > MaxEntryCount) throw EBadZipFile("The archive holds more entries than allowed");
  if (config || multiMode_ != mmNone) {
    ReadPartedDirectory(config.get());
    RebuildSortView();
    return;
  }
  entries_ = std::make_unique<TSortedZip>(dupAccept);
  const int64_t size = zip_->Size();
  const int64_t endPos = static_cast<int64_t>(endCentral_.ZipCommentPos) - kEndCentralSize;
  // Bytes before the archive (a self-extracting stub) shift every offset; the end
  // record tells by how much, since the directory ends where the end record starts.
  int64_t delta = endPos - static_cast<int64_t>(r.CentralSize) - static_cast<int64_t>(r.CentralOffset);
  if (delta < 0) delta = 0;
  bool ok = true;
  const int64_t dirEnd = static_cast<int64_t>(r.CentralOffset) + delta + static_cast<int64_t>(r.CentralSize);
  if (r.TotalEntries != 0 || r.CentralSize != 0) {
    zip_->Seek(static_cast<int64_t>(r.CentralOffset) + delta, soFromBeginning);
    // The 16-bit count wraps past 65535 entries, and some writers get it wrong
    // altogether: every record the directory's size holds is read, and any the
    // count still promises after them.
    TZipHeaderInfo* previous = nullptr;
    for (int i = 0; i < r.TotalEntries || zip_->Position() < dirEnd; ++i) {
      if (i % 256 == 0) ProcessMessages();
      if (i >= MaxEntryCount) throw EBadZipFile("The archive holds more entries than allowed");
      auto entry = std::make_unique<TZipHeaderInfo>();
      entry->OEMConvert = OEMConvert ? 1 : 0;
      if (!ReadCentralRecord(*entry, *zip_, previous)) {
        ok = i >= r.TotalEntries && !AtCentralRecord(*zip_);
        break;
      }
      previous = entry.get();
      const int64_t next = zip_->Position() + entry->ExtraFieldLength + entry->FileCommentLength;
      if (next > size) {
        ok = false;
        break;
      }
      entry->RelativeOffset = static_cast<uint32_t>(entry->RelativeOffset + delta);
      entries_->AddObject(entry.release());
      zip_->Seek(next, soFromBeginning);
    }
  }
  if (!ok) {
    entries_.reset();
    ScanLocalHeaders();
  } else {
    RefuseOverlaps(*entries_);
  }
  RebuildSortView();
}

// The directory of a multi-part set, or one kept in a configuration file, is read
// whole into memory first: its records may be cut anywhere by the end of a part.
// Comments are loaded at once, since the part holding them will not stay open.
void TZipReader::ReadPartedDirectory(TStream* config) {
  const end_of_central& r = endCentral_.Record;
  TStream& endSource = config ? *config : *zip_;
  if (endCentral_.ZipHasComment() && !endCentral_.ZipComment)
    endCentral_.ZipComment = endCentral_.GetZipComment(endSource);
  TMemoryStream directory;
  std::vector<uint8_t> chunk(65536);
  auto copy = [&](TStream& from, int64_t want, bool across) {
    while (want > 0) {
      const int64_t n = std::min<int64_t>(want, static_cast<int64_t>(chunk.size()));
      const int64_t got = across ? ReadAcross(chunk.data(), n) : from.Read(chunk.data(), n);
      if (got <= 0) break;
      directory.Write(chunk.data(), got);
      want -= got;
    }
  };
  if (config) {
    // The configuration file holds the records and then the end record.
    const int64_t end = static_cast<int64_t>(endCentral_.ZipCommentPos) - kEndCentralSize;
    config->Seek(0, soFromBeginning);
    copy(*config, end, false);
  } else {
    FetchDisk(r.StartOfCentralDiskNumber);
    zip_->Seek(r.CentralOffset, soFromBeginning);
    copy(*zip_, r.CentralSize, true);
  }
  directory.Seek(0, soFromBeginning);
  entries_ = std::make_unique<TSortedZip>(dupAccept);
  TZipHeaderInfo* previous = nullptr;
  for (int i = 0; i < r.TotalEntries || directory.Position() < directory.Size(); ++i) {
    if (i % 256 == 0) ProcessMessages();
    if (i >= MaxEntryCount) throw EBadZipFile("The archive holds more entries than allowed");
    auto entry = std::make_unique<TZipHeaderInfo>();
    entry->OEMConvert = OEMConvert ? 1 : 0;
    if (!ReadCentralRecord(*entry, directory, previous)) {
      if (i >= r.TotalEntries && !AtCentralRecord(directory)) break;
      throw EBadZipFile("Not a valid zip file!");
    }
    previous = entry.get();
    const int64_t next = directory.Position() + entry->ExtraFieldLength + entry->FileCommentLength;
    if (next > directory.Size()) throw EBadZipFile("Not a valid zip file!");
    if (entry->HasComment()) entry->FileComment = entry->GetFileComment(directory);
    directory.Seek(next, soFromBeginning);
    entries_->AddObject(entry.release());
  }
  RefuseOverlaps(*entries_);
}

// A record that cannot be read is looked for once more where it would stand
// if the record before it had no extra field: that length is then taken as 0.
bool TZipReader::ReadCentralRecord(TZipHeaderInfo& entry, TStream& stream, TZipHeaderInfo* previous) {
  TStream* s = &stream;
  if (entry.ReadCentralFromStream(s)) return true;
  if (!previous || previous->ExtraFieldLength == 0) return false;
  const int64_t at = stream.Position();
  stream.Seek(at - previous->ExtraFieldLength, soFromBeginning);
  if (entry.ReadCentralFromStream(s)) {
    previous->ExtraFieldLength = 0;
    return true;
  }
  stream.Seek(at, soFromBeginning);
  return false;
}

bool TZipReader::HasNextDisk() const {
  return multiMode_ != mmNone && !archiveStream_ && OnGetNextDisk && currentDisk_ + 1 < numDisks_;
}

// A caller's stream is the one part there is: SwapDisk refuses any other.
void TZipReader::FetchDisk(int disk) {
  if (multiMode_ == mmNone || disk == currentDisk_) return;
  if (disk < 0 || disk >= numDisks_) throw EBadZipFile("Not a valid zip file!");
  SwapDisk(disk + 1);
}

int64_t TZipReader::ReadAcross(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t got = 0;
  while (got < count) {
    const int64_t n = zip_->Read(p + got, count - got);
    if (n > 0) {
      got += n;
      continue;
    }
    if (!HasNextDisk()) break;
    SwapDisk(currentDisk_ + 2);
  }
  return got;
}

void TZipReader::SkipAcross(int64_t count) {
  int64_t pos = zip_->Position() + count;
  while (HasNextDisk() && pos > zip_->Size()) {
    pos -= zip_->Size();
    SwapDisk(currentDisk_ + 2);
  }
  zip_->Seek(pos, soFromBeginning);
}

TStream* TZipReader::SwapDisk(int disk) {
  if (archiveStream_) throw EIncompleteZip("Incomplete Zip File");
  zipFile_.reset();
  zip_ = nullptr;
  openName_.clear();
  std::string previous;
  for (;;) {
    std::string name = multiMode_ == mmSpan ? zipName_ : std::string();
    readingParts_ = true;
    try {
      if (OnGetNextDisk) OnGetNextDisk(this, disk, name);
    } catch (...) {
      readingParts_ = false;
      throw;
    }
    readingParts_ = false;
    if (name.empty()) throw EUserCanceled("User canceled loading new disk.");
    if (platform::PlainFileExists(name)) {
      zipFile_ = std::make_unique<TLFNFileStream>(name, platform::fmOpenRead | platform::fmShareDenyWrite, false,
                                                  BufferSize);
      zip_ = zipFile_.get();
      openName_ = name;
      archiveDate_ = platform::FileDosDate(name);
      break;
    }
    // Asking again helps when a disk can be changed, as long as the user
    // answers; a numbered part named twice over and still missing will not
    // appear by asking once more.
    if (multiMode_ != mmSpan && name == previous)
      throw EFileNotAllThere("Part " + name + " of the archive is missing");
    previous = name;
  }
  currentDisk_ = disk - 1;
  return zip_;
}

void TZipReader::NewDiskEvent(TPersistent*, TStream*& stream) {
  stream = SwapDisk(currentDisk_ + 2);
}

void TZipReader::DefaultGetNextDisk(TZipReader*, int nextDisk, std::string& fName) {
  // Reading, the set is what the archive said it is; writing, what the writer makes.
  if ((readingParts_ ? multiMode_ : GetMultiMode()) == mmSpan) {
    if (!platform::AskOkCancel("Please insert disk " + std::to_string(nextDisk) + " of the multi-disk set.",
                               "Multi-disk set"))
      fName.clear();
    return;
  }
  char ext[16];
  std::snprintf(ext, sizeof ext, ".%03d", nextDisk);
  fName = WithExtension(zipName_, ext);
}

void TZipReader::ScanLocalHeaders() {
  entries_ = std::make_unique<TSortedZip>(dupAccept);
  scanned_ = true;
  const int64_t size = zip_->Size();
  // Find the first local signature followed by a plausible version field.
  zip_->Seek(0, soFromBeginning);
  uint8_t window[6] = {0};
  int64_t pos = 0, first = -1;
  const uint32_t sig = LocalSignature();
  while (pos < size) {
    if (pos % 10240 == 0) ProcessMessages();
    uint8_t b;
    if (zip_->Read(&b, 1) != 1) break;
    std::memmove(window, window + 1, 5);
    window[5] = b;
    ++pos;
    if (pos >= 6 && GetLE32(window) == sig && PlausibleVersion(GetLE16(window + 4))) {
      first = pos - 6;
      break;
    }
  }
  if (first < 0) throw EBadZipFile("Not a valid zip file!");
  zip_->Seek(first, soFromBeginning);
  int64_t stop = first;
  for (;;) {
    if (entries_->Count() >= MaxEntryCount) throw EBadZipFile("The archive holds more entries than allowed");
    auto entry = std::make_unique<TZipHeaderInfo>();
    entry->OEMConvert = OEMConvert ? 1 : 0;
    if (!entry->ReadLocalFromStream(*zip_)) break;
    // Past the name as stored, whose length the name as read need not have.
    const int64_t dataStart = zip_->Position() + entry->LocalExtraFieldLength;
    if (entry->HasDescriptor() && entry->CompressedSize == 0) {
      // A streamed entry: its sizes follow the data, so find them there.
      if (!FindDataDescriptor(dataStart, *entry)) break;
    }
    int64_t next = dataStart + entry->CompressedSize;
    if (next > size) break;
    if (entry->HasDescriptor()) {
      uint8_t d[4];
      zip_->Seek(next, soFromBeginning);
      next += (zip_->Read(d, 4) == 4 && GetLE32(d) == kDataDescriptorSig) ? 16 : 12;
      if (next > size) next = size;
    }
    entries_->AddObject(entry.release());
    stop = next;
    zip_->Seek(next, soFromBeginning);
  }
  if (entries_->Count() == 0) throw EBadZipFile("Not a valid zip file!");
  end_of_central rec;
  rec.TotalEntries = rec.EntriesOnThisDisk = static_cast<uint16_t>(entries_->Count());
  rec.CentralOffset = static_cast<uint32_t>(stop);
  endCentral_.SetFromEndCentral(rec);
  numDisks_ = 1;
  multiMode_ = mmNone;
}

bool TZipReader::FindDataDescriptor(int64_t dataStart, TZipHeaderInfo& entry) {
  const int64_t size = zip_->Size();
  constexpr size_t kChunk = 65536, kKeep = 20;
  std::vector<uint8_t> buf;
  int64_t bufStart = dataStart;
  zip_->Seek(dataStart, soFromBeginning);
  for (;;) {
    ProcessMessages();
    const size_t old = buf.size();
    buf.resize(old + kChunk);
    const int64_t n = zip_->Read(buf.data() + old, kChunk);
    buf.resize(old + static_cast<size_t>(std::max<int64_t>(n, 0)));
    const bool atEnd = n <= 0 || bufStart + static_cast<int64_t>(buf.size()) >= size;
    for (size_t i = 0; i + 16 <= buf.size(); ++i) {
      const int64_t at = bufStart + static_cast<int64_t>(i);
      const uint32_t s = GetLE32(&buf[i]);
      // With its signature: crc, compressed size (which must reach back to the data start), size.
      if (s == kDataDescriptorSig && GetLE32(&buf[i + 8]) == static_cast<uint64_t>(at - dataStart)) {
        entry.CRC32 = GetLE32(&buf[i + 4]);
        entry.CompressedSize = GetLE32(&buf[i + 8]);
        entry.UncompressedSize = GetLE32(&buf[i + 12]);
        return true;
      }
      // Without it: the 12 bytes must be followed by the next header or the directory.
      if (i + 16 <= buf.size() && GetLE32(&buf[i + 4]) == static_cast<uint64_t>(at - dataStart)) {
        const uint32_t after = GetLE32(&buf[i + 12]);
        if (after == LocalSignature() || after == CentralSignature()) {
          entry.CRC32 = GetLE32(&buf[i]);
          entry.CompressedSize = GetLE32(&buf[i + 4]);
          entry.UncompressedSize = GetLE32(&buf[i + 8]);
          return true;
        }
      }
    }
    if (atEnd) return false;
    // Keep a tail so that a descriptor across the chunk border is still seen.
    const size_t drop = buf.size() - kKeep;
    buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(drop));
    bufStart += static_cast<int64_t>(drop);
  }
}

void TZipReader::RebuildSortView() {
  if (sortMode_ == ByNone || !entries_) {
    sortView_.reset();
    return;
  }
  sortView_ = std::make_unique<TSortedZip>(dupAccept);
  sortView_->SetOwnsItems(false);
  sortView_->SortMode = sortMode_;
  for (int i = 0; i < entries_->Count(); ++i) sortView_->AddObject(entries_->Get(i));
}

void TZipReader::Sort(TZipSortMode mode) {
  sortMode_ = mode;
  RebuildSortView();
}

int TZipReader::Count() const { return entries_ ? entries_->Count() : 0; }

void TZipReader::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    char msg[64];
    std::snprintf(msg, sizeof msg, "Index %d is out of range", index);
    throw EListError(msg);
  }
}

TZipHeaderInfo* TZipReader::Entry(int index) const {
  CheckIndex(index);
  return static_cast<TZipHeaderInfo*>(sortView_ ? sortView_->Get(index) : entries_->Get(index));
}

std::string TZipReader::CompressMethodStr(int index) const {
  static const char* const kNames[] = {"STOR", "SHR", "RED1", "RED2", "RED3", "RED4", "IMP", "TOK", "DEF"};
  const int m = CompressMethod(index);
  if (m >= 0 && m <= 8) return kNames[m];
  char buf[16];
  std::snprintf(buf, sizeof buf, "M%d", m);
  return buf;
}

platform::TDateTime TZipReader::DateTime(int index) const {
  platform::TDateTime d = 0;
  if (!platform::DosDateTimeToDateTime(GoodTimeStamp(Entry(index)->DateTime), d)) d = platform::Now();
  return d;
}

// Opening may read the directory again (the archive changed since), which
// replaces every entry: an entry is taken only once the archive is open.
class TZipReader::TOpenForEntry {
 public:
  explicit TOpenForEntry(TZipReader& reader) : r_(reader) { r_.OpenZip(); }
  ~TOpenForEntry() { r_.CloseZip(); }
  TOpenForEntry(const TOpenForEntry&) = delete;
  TOpenForEntry& operator=(const TOpenForEntry&) = delete;

 private:
  TZipReader& r_;
};

std::string TZipReader::FileComment(int index) {
  const TZipHeaderInfo* held = Entry(index);
  if (!held->HasComment()) return {};
  if (held->FileComment) return *held->FileComment;
  TOpenForEntry open(*this);
  TZipHeaderInfo* e = Entry(index);
  if (!e->HasComment()) return {};
  if (!e->FileComment) e->FileComment = e->GetFileComment(*zip_);
  return PCharToStr(e->FileComment);
}

void TZipReader::SetFileComment(int index, const std::string& comment) {
  TZipHeaderInfo* e = Entry(index);
  if (PCharToStr(e->FileComment) == comment && (e->FileComment || comment.empty())) return;
  e->SetNewFileComment(comment);
  commentsModified_ = true;
}

std::string TZipReader::ZipComment() {
  if (!endCentral_.ZipHasComment()) return {};
  if (endCentral_.ZipComment) return *endCentral_.ZipComment;
  TOpenForEntry open(*this);
  // The end record read again on opening may say otherwise.
  if (endCentral_.ZipHasComment() && !endCentral_.ZipComment) endCentral_.ZipComment = endCentral_.GetZipComment(*zip_);
  return PCharToStr(endCentral_.ZipComment);
}

void TZipReader::SetZipComment(const std::string& comment) {
  if (ZipComment() == comment) return;
  endCentral_.SetNewZipComment(comment);
  endModified_ = true;
}

void TZipReader::SetSelected(int index, bool selected) {
  TZipHeaderInfo* e = Entry(index);
  if ((e->Selected != 0) == selected) return;
  e->Selected = selected ? 1 : 0;
  selectedCount_ += selected ? 1 : -1;
}

void TZipReader::ClearSelected() {
  for (int i = 0; i < Count(); ++i) Entry(i)->Selected = 0;
  selectedCount_ = 0;
}

int64_t TZipReader::ZipSize() const {
  if (archiveStream_) return archiveStream_->Size();
  if (zipName_.empty()) return 0;
  return platform::FileSizeOf(zipName_).value_or(0);
}

void TZipReader::FillList(std::vector<std::string>& lines) {
  lines.clear();
  for (int i = 0; i < Count(); ++i) {
    const TZipHeaderInfo* e = Entry(i);
    platform::TDateTime when = 0;
    if (!platform::DosDateTimeToDateTime(e->DateTime, when)) when = platform::Now();
    const platform::TDosFields f = platform::DecodeDateTime(when);
    char date[16], time[16], line[512];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", f.month, f.day, f.year % 100);
    const int h12 = f.hour % 12 == 0 ? 12 : f.hour % 12;
    std::snprintf(time, sizeof time, "%02d:%02d%s", h12, f.minute, f.hour < 12 ? "am" : "pm");
    std::string head = e->FileName;
    if (e->IsEncrypted()) head += '#';
    if (e->HasComment()) head += '@';
    std::snprintf(line, sizeof line, "\t%8s\t%7s\t%8d\t%8d\t%3d%s\t%s\t", date, time,
                  static_cast<int>(e->UncompressedSize), static_cast<int>(e->CompressedSize),
                  CRate(e->UncompressedSize, e->CompressedSize), "%", CompressMethodStr(i).c_str());
    lines.push_back(LowerAscii(head + line + e->Directory));
  }
}

void TZipReader::GetDecryptHeaderPtr(int index, uint8_t* header) {
  std::memset(header, 0, kCryptHeaderSize);
  if (!Entry(index)->IsEncrypted()) return;
  TOpenForEntry open(*this);
  const TZipHeaderInfo* e = Entry(index);
  if (!e->IsEncrypted()) return;
  FetchDisk(e->DiskNumberStart);
  zip_->Seek(e->RelativeOffset, soFromBeginning);
  uint8_t raw[kLocalHeaderSize];
  if (ReadAcross(raw, kLocalHeaderSize) == kLocalHeaderSize && GetLE32(raw) == LocalSignature()) {
    SkipAcross(GetLE16(raw + 26) + GetLE16(raw + 28));
    if (ReadAcross(header, kCryptHeaderSize) != kCryptHeaderSize) std::memset(header, 0, kCryptHeaderSize);
  }
}

}  // namespace zip
