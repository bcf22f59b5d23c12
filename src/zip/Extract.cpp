// The extracting half of TZipReader: choosing entries, naming the output safely,
// the overwrite decision, decryption, decompression and the CRC check.

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "zip/BufferStream.h"
#include "zip/Crc32.h"
#include "zip/Explode.h"
#include "zip/Inflate.h"
#include "zip/Unreduce.h"
#include "zip/Unshrink.h"
#include "zip/Wildcard.h"
#include "zip/ZipCodec.h"
#include "zip/ZipFileUtils.h"
#include "zip/ZipReader.h"

namespace zip {

namespace {

constexpr size_t kChunk = 32768;

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

bool HasDrive(const std::string& s) {
  return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

enum TOutcome { kNone, kGood, kBad, kSkipped };

// Removes a temporary file unless it was handed over.
struct TTempGuard {
  std::string name;
  ~TTempGuard() {
    if (!name.empty()) platform::RemoveFile(name);
  }
};

}  // namespace

struct TZipReader::TRun {
  TOutput output = TOutput::File;
  TStream* stream = nullptr;
  std::vector<uint8_t>* buffer = nullptr;
  bool selectedOnly = false;
  int singleIndex = -1;
  double totalBytes = 0;
  double doneBytes = 0;
  int toDo = 0;
  int extracted = 0;
  TOutcome outcome = kNone;
  bool opened = false;                  // the caller has opened the archive for the run
  bool judge = false;                   // a test of the archive: each entry's check state is set
  std::unique_ptr<TInflater> inflater;  // made on first use, kept for the run
  std::string lastFolder;               // the folder the previous entry went to, already checked
};

class TZipReader::TEntrySource : public TZipSource {
 public:
  TEntrySource(TZipReader& reader, uint64_t size, TZipCrypt* crypt) : r_(reader), left_(size), crypt_(crypt) {}
  size_t ReadChunk(uint8_t* buffer, size_t max) override {
    if (left_ == 0) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>({max, kChunk, left_}));
    r_.ProcessMessages();
    // Data running over the end of a part continues at the start of the next;
    // past the last part of a set there is no disk to have.
    if (r_.ReadAcross(buffer, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) {
      if (r_.multiMode_ != mmNone && r_.OnGetNextDisk) throw EUserCanceled("User Aborted Operation");
      throw EFatalUnzipError("Premature end of file reached");
    }
    left_ -= n;
    if (crypt_) {
      if (r_.OnDecrypt) r_.OnDecrypt(&r_, buffer, static_cast<int>(n), r_.Password);
      else crypt_->decrypt_buff(buffer, n);
    }
    return n;
  }

 private:
  TZipReader& r_;
  uint64_t left_;
  TZipCrypt* crypt_;
};

class TZipReader::TEntrySink : public TZipSink {
 public:
  TEntrySink(TZipReader& reader, TRun& run, TStream* out, uint64_t size, const std::string& fname,
             TZipCrypt* crypt)
      : r_(reader), run_(run), out_(out), limit_(size), fname_(fname), crypt_(crypt) {}

  // Pieces end where a 32 KiB output window would have filled, whatever sizes
  // the decoder hands over: progress is told once per window and at the end.
  void Write(const uint8_t* data, size_t length) override {
    while (length > 0) {
      const size_t n = std::min(length, kChunk - static_cast<size_t>(written_ % kChunk));
      Piece(data, n);
      data += n;
      length -= n;
    }
  }

  // Hands the last piece of buffered memory output to the caller; an entry
  // with no data at all has one piece too, an empty one.
  void Finish() {
    if (written_ % kChunk != 0) Progress();
    if (run_.output == TOutput::Memory && r_.BufferLength > 0 && (memPos_ > 0 || bufferNum_ == 0)) NextBuffer();
  }

  uint32_t Crc() const { return ~crc_; }
  uint64_t Written() const { return written_; }

 private:
  void Piece(const uint8_t* data, size_t n) {
    if (n > limit_ - written_) throw EBiggerThanUncompressed("File is larger than uncompressed size!");
    if (crypt_) {
      std::memcpy(plain_, data, n);
      if (r_.OnDecrypt) r_.OnDecrypt(&r_, plain_, static_cast<int>(n), r_.Password);
      else crypt_->decrypt_buff(plain_, n);
      data = plain_;
    }
    switch (run_.output) {
      case TOutput::File:
      case TOutput::Stream:
        if (out_->Write(data, static_cast<int64_t>(n)) != static_cast<int64_t>(n))
          throw ECantWriteUCF("Cant write uncompressed file");
        break;
      case TOutput::Memory: ToMemory(data, n); break;
      case TOutput::Test: break;
    }
    crc_ = Update_CRC_buff(crc_, data, n);
    written_ += n;
    run_.doneBytes += static_cast<double>(n);
    if (written_ % kChunk == 0) Progress();
  }

  void Progress() {
    if (r_.OnFilePercentDone) r_.OnFilePercentDone(&r_, CRate(static_cast<int64_t>(limit_), static_cast<int64_t>(written_)));
    if (r_.OnTotalPercentDone) r_.OnTotalPercentDone(&r_, CBigRate(run_.totalBytes, run_.doneBytes));
  }

  void ToMemory(const uint8_t* data, size_t n) {
    std::vector<uint8_t>& buf = *run_.buffer;
    if (r_.BufferLength <= 0) {
      if (n > buf.size() - memPos_) throw EBiggerThanUncompressed("File is larger than uncompressed size!");
      std::memcpy(buf.data() + memPos_, data, n);
      memPos_ += n;
      return;
    }
    const size_t piece = static_cast<size_t>(r_.BufferLength);
    if (buf.size() < piece) buf.resize(piece);
    while (n > 0) {
      const size_t k = std::min(n, piece - memPos_);
      std::memcpy(buf.data() + memPos_, data, k);
      memPos_ += k;
      placed_ += k;
      data += k;
      n -= k;
      if (memPos_ == piece) NextBuffer();
    }
  }

  void NextBuffer() {
    const bool remains = placed_ < limit_;
    bool quit = !remains;
    if (r_.OnGetNextBuffer)
      r_.OnGetNextBuffer(&r_, *run_.buffer, fname_, static_cast<int>(memPos_), ++bufferNum_, quit);
    if (quit && remains) throw EUserCanceled("User canceled Buffered Memory UnZip");
    memPos_ = 0;
    if (run_.buffer->size() < static_cast<size_t>(r_.BufferLength))
      run_.buffer->resize(static_cast<size_t>(r_.BufferLength));
  }

  TZipReader& r_;
  TRun& run_;
  TStream* out_;
  uint64_t limit_;
  std::string fname_;
  TZipCrypt* crypt_;
  uint32_t crc_ = 0xFFFFFFFF;
  uint64_t written_ = 0;
  size_t memPos_ = 0;
  uint64_t placed_ = 0;
  int bufferNum_ = 0;
  uint8_t plain_[kChunk];
};

bool TZipReader::OutputName(const TZipHeaderInfo& entry, bool toFile, std::string& folder, std::string& name) const {
  const std::string& file = entry.FileName;
  // A NUL only ever introduces a disk byte that the code page lacks (never an
  // ASCII one); anything else is a NUL in the stored name, which no file can have.
  auto plausible = [](const std::string& s) {
    for (size_t i = s.find('\0'); i != std::string::npos; i = s.find('\0', i + 2))
      if (i + 1 >= s.size() || static_cast<unsigned char>(s[i + 1]) < 0x80) return false;
    return true;
  };
  if (toFile && (!plausible(file) || file == "." || file == "..")) return false;
  // A name that breaks lines or turns around would mislead wherever it is
  // listed: what is written bears it with its control characters made '_'.
  const auto written = [toFile](const std::string& part) { return toFile ? platform::ControlsMapped(part) : part; };
  std::string rel;
  if (RecreateDirs) {
    // The stored folder less a leading RootDir and less a drive; an absolute one
    // goes under DestDir like a relative one.
    std::string dir = entry.Directory;
    std::string root = rootDir_;
    for (char& c : root)
      if (c == '/') c = '\\';
    if (!root.empty() && LowerAscii(dir).compare(0, root.size(), LowerAscii(root)) == 0) dir = dir.substr(root.size());
    if (HasDrive(dir)) dir = dir.substr(2);
    if (toFile && !plausible(dir)) return false;
    size_t pos = 0;
    while (pos < dir.size()) {
      size_t next = dir.find_first_of("\\/", pos);
      if (next == std::string::npos) next = dir.size();
      const std::string part = dir.substr(pos, next - pos);
      pos = next + 1;
      if (part.empty() || part == ".") continue;
      // A folder that climbs out of DestDir would write where the archive has no business.
      if (toFile && part == "..") return false;
      rel += rel.empty() ? written(part) : '\\' + written(part);
    }
  }
  // Files never go to the root for want of a DestDir: that is the current folder.
  const std::string base = toFile && destDir_.empty() ? std::string(".") : destDir_;
  folder = rel.empty() ? base : base + '\\' + rel;
  name = file.empty() ? folder : folder + '\\' + written(file);
  return true;
}

// Creates the folders below `base` one by one; never passes through a symbolic link,
// so an entry cannot be steered out of the destination by a link already there.
static bool MakeFoldersBelow(const std::string& base, const std::string& folder) {
  if (!ForceDirs(base)) return false;
  if (folder.size() <= base.size()) return platform::DirExists(folder) || folder == base;
  std::string path = base;
  size_t pos = base.size() + 1;
  while (pos <= folder.size()) {
    size_t next = folder.find_first_of("\\/", pos);
    if (next == std::string::npos) next = folder.size();
    path = folder.substr(0, next);
    if (platform::IsSymLink(path)) return false;
    if (!platform::DirExists(path)) {
      if (platform::PathExists(path) || (!platform::CreateDir(path) && !platform::DirExists(path))) return false;
    }
    pos = next + 1;
  }
  return true;
}

// Never, ifNewer and ifOlder decide from the entry and the file alone.
bool TZipReader::KeepsExisting(const TZipHeaderInfo& entry, const std::string& outName) const {
  switch (OverwriteMode) {
    case Never: return true;
    case ifNewer:
    case ifOlder: {
      platform::TDateTime mine = 0;
      platform::DosDateTimeToDateTime(GoodTimeStamp(entry.DateTime), mine);
      const platform::TDateTime theirs = FileDate(outName);
      return OverwriteMode == ifNewer ? !(mine > theirs) : !(mine < theirs);
    }
    default: return false;
  }
}

int TZipReader::ExtractEntry(int index, TRun& run) {
  TZipHeaderInfo work;
  work.Assign(*Entry(index));
  const bool toFile = run.output == TOutput::File;
  // `takenOff` leaves the total: the entry's size when the file there is
  // kept, its compressed size when no password opens it, nothing otherwise.
  auto leave = [&](TSkipReason reason, const std::string& fname, uint64_t takenOff = 0) {
    bool retry = false;
    if (OnSkippingFile) OnSkippingFile(this, reason, fname, index, retry);
    run.totalBytes -= static_cast<double>(takenOff);
    run.toDo--;
    if (run.outcome == kNone) run.outcome = kSkipped;
    return 0;
  };

  std::string folder, outName;
  if (!OutputName(work, toFile, folder, outName)) return leave(srCreateError, work.FullName());
  if (work.FileName.empty()) {
    if (toFile && RecreateDirs && !MakeFoldersBelow(destDir_.empty() ? "." : destDir_, folder))
      return leave(srCreateError, folder);
    run.outcome = kGood;
    return 1;
  }

  // The local header decides where the data starts: its name and extra field may
  // differ in length from the central record's.
  FetchDisk(work.DiskNumberStart);
  zip_->Seek(work.RelativeOffset, soFromBeginning);
  uint8_t local[kLocalHeaderSize];
  if (ReadAcross(local, kLocalHeaderSize) != kLocalHeaderSize) {
    if (OnBadCRC) OnBadCRC(this, 0, work.CRC32, index);
    run.outcome = kBad;
    run.toDo--;
    return 0;
  }
  SkipAcross(GetLE16(local + 26) + GetLE16(local + 28));

  bool skip = false;
  const std::string safeName = outName;
  if (OnStartUnZip) OnStartUnZip(this, index, outName, skip);
  if (skip) {
    run.toDo--;
    run.outcome = kSkipped;
    return 0;
  }
  if (toFile) {
    const std::string outFolder = FolderOf(outName);
    if (outFolder != run.lastFolder) {
      const bool made = outName == safeName ? MakeFoldersBelow(destDir_.empty() ? "." : destDir_, outFolder)
                                            : ForceDirs(outFolder);
      if (!made) return leave(srCreateError, outName);
      run.lastFolder = outFolder;
    }
  }

  uint64_t dataSize = work.CompressedSize;
  TZipCrypt* crypt = nullptr;
  if (work.IsEncrypted()) {
    uint8_t header[kCryptHeaderSize];
    if (ReadAcross(header, kCryptHeaderSize) != kCryptHeaderSize) {
      if (OnBadCRC) OnBadCRC(this, 0, work.CRC32, index);
      run.outcome = kBad;
      run.toDo--;
      return 0;
    }
    // An entry too short for its own header has no data after it.
    dataSize = dataSize > kCryptHeaderSize ? dataSize - kCryptHeaderSize : 0;
    const uint8_t check = CryptCheckByte(work.Flags, work.DateTime, work.CRC32);
    while (DecryptHeaderByte(Password, header) != check) {
      std::string newPassword;
      if (OnBadPassword) OnBadPassword(this, index, newPassword);
      if (newPassword.empty()) return leave(srBadPassword, outName, work.CompressedSize);
      Password = newPassword;
    }
    crypt_.DecryptTheHeader(Password, header);
    crypt = &crypt_;
  }

  const int targetAttr = toFile ? platform::FileGetAttr(outName) : -1;  // -1: nothing there
  // A folder of that name is no file to overwrite: creating the file fails below.
  if (targetAttr >= 0 && !(targetAttr & platform::faDirectory)) {
    bool overwrite = OverwriteMode == Always;
    if (OverwriteMode == Prompt) {
      if (OnPromptForOverwrite) OnPromptForOverwrite(this, overwrite, index, outName);
      else overwrite = platform::AskYesNo("Replace existing file " + work.FileName + "?", "File Exists Alert");
    } else if (OverwriteMode != Always) {
      overwrite = !KeepsExisting(work, outName);
    }
    if (!overwrite) return leave(srNoOverwrite, outName, work.UncompressedSize);
  }

  std::unique_ptr<TLFNFileStream> file;
  TTempGuard temp;
  TStream* out = run.stream;
  if (toFile) {
    const int attr = targetAttr;
    if (attr >= 0 && ((attr & platform::faDirectory) || ((attr & platform::faReadOnly) && !ReplaceReadOnly)))
      return leave(srCreateError, outName);
    // Written beside the target and renamed over it only once the CRC has passed.
    try {
      auto created = TFileStream::CreateTemp(FolderOf(outName), ".pzx");
      temp.name = created->FileName();
      file = std::make_unique<TLFNFileStream>(std::move(created), FlushFilesOnClose, BufferSize);
    } catch (const platform::Exception&) {
      return leave(srCreateError, outName);
    }
    out = file.get();
  } else if (run.output == TOutput::Memory && BufferLength <= 0 && run.buffer->empty()) {
    if (static_cast<int64_t>(work.UncompressedSize) > MaxBufferAllocation)
      throw ENotEnoughRoom("Entry too large to unpack into memory");
    run.buffer->resize(work.UncompressedSize);
  }

  const bool cryptOutput = crypt && EncryptBeforeCompress;
  TEntrySource source(*this, dataSize, cryptOutput ? nullptr : crypt);
  TEntrySink sink(*this, run, out, work.UncompressedSize, outName, cryptOutput ? crypt : nullptr);
  // A decoder that stops short of its stream's end (a stream ending in a
  // flush, an entry with no data at all) has still handed over what it
  // decoded: the CRC and the size judge the entry, whatever the decoder said.
  switch (work.CompressionMethod) {
    case 0: {
      uint8_t chunk[kChunk];
      while (size_t n = source.ReadChunk(chunk, kChunk)) sink.Write(chunk, n);
      break;
    }
    case 1: Unshrink(source, sink, work.UncompressedSize); break;
    case 2:
    case 3:
    case 4:
    case 5: Unreduce(source, sink, work.CompressionMethod - 1, work.UncompressedSize); break;
    case 6: Explode(source, sink, work.Flags, work.UncompressedSize); break;
    case 8:
      try {
        if (!run.inflater) run.inflater = std::make_unique<TInflater>();
      } catch (const std::bad_alloc&) {
        // Nothing is written, so the entry fails its check below; the run goes on with the next.
        statusText_ = "*** inflate out of memory ***";
        break;
      }
      run.inflater->Run(source, sink);
      break;
    default:
      platform::ShowMessage("Unknown Compression Method", "Zip Error");
      break;
  }
  sink.Finish();
  if (file) {
    // What counts is what reached the file: a last buffer that could not be
    // written, or a file shorter than the bytes handed to it, is a short write.
    const bool whole = file->FinishWrites() && file->FileStream().Size() == static_cast<int64_t>(sink.Written());
    file.reset();
    if (!whole) throw ECantWriteUCF("Cant write uncompressed file");
  }

  const uint32_t crc = sink.Crc();
  if (crc == work.CRC32 && sink.Written() == work.UncompressedSize) {
    if (toFile) {
      platform::SetFileDosDate(temp.name, GoodTimeStamp(work.DateTime));
      if (!RenameOver(temp.name, outName)) return leave(srCreateError, outName);
      temp.name.clear();
      // A read-only file is replaced only with ReplaceReadOnly, and what replaces it is writable.
      if (targetAttr >= 0 && (targetAttr & platform::faReadOnly)) platform::FileSetAttr(outName, 0);
      if (RetainAttributes && (work.ExternalAttributes & platform::faReadOnly))
        platform::FileSetAttr(outName, platform::faReadOnly);
    }
    if (OnEndUnZip) OnEndUnZip(this, index, outName);
    run.outcome = kGood;
    return 1;
  }
  if (work.IsEncrypted()) {
    // A password that passes the one-byte check can still be the wrong one.
    std::string newPassword;
    if (OnBadPassword) OnBadPassword(this, index, newPassword);
    if (!newPassword.empty() && newPassword != Password) {
      Password = newPassword;
      return -1;
    }
    bool retry = false;
    if (OnSkippingFile) OnSkippingFile(this, srBadPassword, safeName, index, retry);
    run.outcome = kSkipped;
  } else {
    if (OnBadCRC) OnBadCRC(this, crc, work.CRC32, index);
    run.outcome = kBad;
  }
  run.toDo--;
  return 0;
}

// Keeps the archive open through one operation, then puts the setting back
// (and, for an extraction run, empties FilesList) and closes it.
class TZipReader::TKeepOpen {
 public:
  TKeepOpen(TZipReader& reader, bool clearFiles) : r_(reader), keep_(reader.keepZipOpen_), clearFiles_(clearFiles) {
    r_.keepZipOpen_ = true;
  }
  ~TKeepOpen() {
    r_.keepZipOpen_ = keep_;
    if (clearFiles_) r_.FilesList.clear();
    r_.CloseZip();
  }
  TKeepOpen(const TKeepOpen&) = delete;
  TKeepOpen& operator=(const TKeepOpen&) = delete;

 private:
  TZipReader& r_;
  bool keep_;
  bool clearFiles_;
};

// Puts the entries in archive order for one run (`single`, an index of the
// chosen order, follows its entry) and the chosen order back afterwards.
class TZipReader::TPhysicalOrder {
 public:
  TPhysicalOrder(TZipReader& reader, bool wanted, int& single) : r_(reader), saved_(reader.sortMode_) {
    if (!wanted || saved_ == ByNone) return;
    const TZipHeaderInfo* entry = single >= 0 ? r_.Entry(single) : nullptr;
    r_.Sort(ByNone);
    sorted_ = true;
    if (entry) single = r_.entries_->TObjectList::IndexOf(const_cast<TZipHeaderInfo*>(entry));
  }
  ~TPhysicalOrder() {
    try {
      Restore();
    } catch (...) {
      // An order that cannot be had leaves the archive order in place.
    }
  }
  void Restore() {
    if (!sorted_) return;
    sorted_ = false;
    r_.Sort(saved_);
  }
  TPhysicalOrder(const TPhysicalOrder&) = delete;
  TPhysicalOrder& operator=(const TPhysicalOrder&) = delete;

 private:
  TZipReader& r_;
  TZipSortMode saved_;
  bool sorted_ = false;
};

int TZipReader::UnZipFiles(TOutput output, TRun& run) {
  cancel_ = false;
  run.output = output;
  TKeepOpen open(*this, true);
  if (!run.opened) OpenZip();

  // A set is read in the order of its parts, so that each disk is asked for
  // once: the indexes of the run are those of the archive order.
  int single = run.singleIndex;
  TPhysicalOrder physical(*this, multiMode_ != mmNone, single);

  std::vector<int> chosen;
  std::vector<std::string> patterns;
  for (const std::string& p : FilesList) patterns.push_back(LowerAscii(p));
  // One entry is taken straight away: walking them all for it would make a
  // test of every entry quadratic in their number.
  const int first = single >= 0 ? single : 0;
  const int last = single >= 0 ? single + 1 : Count();
  for (int i = first; i < last; ++i) {
    TZipHeaderInfo* e = Entry(i);
    bool take = DoAll;
    if (single >= 0) {
      take = true;
    } else if (e->FileName.empty() && !RecreateDirs) {
      take = false;
    } else if (run.selectedOnly) {
      if (e->Selected) {
        take = true;
        SetSelected(i, false);
      }
    } else if (!take) {
      const std::string full = LowerAscii(e->FullName());
      take = std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) { return IsMatch(p, full); });
    }
    if (take) {
      chosen.push_back(i);
      run.totalBytes += static_cast<double>(e->UncompressedSize);
    }
  }
  run.toDo = static_cast<int>(chosen.size());
  bool stop = false;
  if (OnStartUnZipInfo) OnStartUnZipInfo(this, static_cast<int>(chosen.size()), run.totalBytes, stop);
  if (stop) return 0;
  for (int i : chosen) {
    // Judged as FileIsOK judges: bad until its test has passed; a part that
    // is not there, or the user's cancel, says nothing about the entry.
    TZipHeaderInfo* e = run.judge ? Entry(i) : nullptr;
    const uint8_t before = e ? e->MatchFlag : kCheckUntested;
    if (e) e->MatchFlag = kCheckBad;
    run.outcome = kNone;
    int r;
    try {
      while ((r = ExtractEntry(i, run)) < 0) {
      }
    } catch (const EUserCanceled&) {
      if (e) e->MatchFlag = before;
      throw;
    } catch (const EFileNotAllThere&) {
      if (e) e->MatchFlag = before;
      throw;
    }
    if (e && run.outcome != kBad) e->MatchFlag = run.outcome == kGood ? kCheckGood : before;
    run.extracted += r;
  }
  physical.Restore();
  FilesList.clear();
  if (OnUnZipComplete) OnUnZipComplete(this, run.extracted);
  return run.extracted;
}

int TZipReader::UnZip() { return UnZipToFiles(false); }

// UnZip restricted to the entries whose selection mark is set.
int TZipReader::UnZipSelected() { return UnZipToFiles(true); }

int TZipReader::UnZipToFiles(bool selectedOnly) {
  busy_ = true;
  cancel_ = false;
  struct TBusy {
    TZipReader& r;
    ~TBusy() {
      r.busy_ = false;
      r.cancel_ = false;
    }
  } busy{*this};
  if (destDir_ == "?") return 0;
  ReadZip();
  TRun run;
  run.selectedOnly = selectedOnly;
  return UnZipFiles(TOutput::File, run);
}

int TZipReader::UnZipToStream(TStream* stream, const std::string& fName) {
  if (!stream || fName.empty()) return 0;
  ReadZip();
  FilesList = {fName};
  TRun run;
  run.stream = stream;
  return UnZipFiles(TOutput::Stream, run);
}

int TZipReader::UnZipToStreamByIndex(TStream* stream, int index) {
  if (!stream) return 0;
  ReadZip();
  CheckIndex(index);
  TRun run;
  run.stream = stream;
  run.singleIndex = index;
  return UnZipFiles(TOutput::Stream, run);
}

int TZipReader::UnZipToBuffer(std::vector<uint8_t>& buffer, const std::string& fName) {
  ReadZip();
  FilesList = {fName};
  TRun run;
  run.buffer = &buffer;
  return UnZipFiles(TOutput::Memory, run);
}

int TZipReader::UnZipToBufferByIndex(std::vector<uint8_t>& buffer, int index) {
  ReadZip();
  TRun run;
  run.buffer = &buffer;
  if (index < 0 && DoAll) return UnZipFiles(TOutput::Memory, run);
  CheckIndex(index);
  run.singleIndex = index;
  return UnZipFiles(TOutput::Memory, run);
}

bool TZipReader::FileIsOK(int index) {
  TRun run;
  return TestEntry(index, run);
}

bool TZipReader::TestEntry(int index, TRun& run) {
  if (Entry(index)->MatchFlag == kCheckGood) return true;
  if (Entry(index)->MatchFlag == kCheckBad) return false;
  // Opened before the entry is taken: an archive that changed since it was read
  // is read again on opening, and that replaces every entry.
  TKeepOpen open(*this, false);
  if (!run.opened) {
    try {
      OpenZip();
    } catch (const EUserCanceled&) {
      throw;
    } catch (const platform::Exception&) {
      return false;
    }
    run.opened = true;
  }
  TZipHeaderInfo* e = Entry(index);
  if (e->MatchFlag != kCheckUntested) return e->MatchFlag == kCheckGood;
  run.singleIndex = index;
  run.totalBytes = run.doneBytes = 0;
  run.toDo = run.extracted = 0;
  run.outcome = kNone;
  const std::string savedDest = destDir_;
  const bool savedTesting = testing_;
  destDir_.clear();
  testing_ = true;
  try {
    UnZipFiles(TOutput::Test, run);
  } catch (const EUserCanceled&) {
    destDir_ = savedDest;
    testing_ = savedTesting;
    throw;
  } catch (const EFileNotAllThere&) {
    // A part that is not there says nothing about the entry.
    destDir_ = savedDest;
    testing_ = savedTesting;
    throw;
  } catch (const platform::Exception&) {
    run.outcome = kBad;
  }
  destDir_ = savedDest;
  testing_ = savedTesting;
  // Only a test that ran to its end judges the entry; a skipped one stays untested.
  if (run.outcome == kGood) e->MatchFlag = kCheckGood;
  else if (run.outcome == kBad) e->MatchFlag = kCheckBad;
  return run.outcome == kGood;
}

// One test run over every entry, as with DoAll: an exception ends it, and
// the archive is not sound.
bool TZipReader::CheckArchive() {
  ReadZip();
  TKeepOpen open(*this, false);
  OpenZip();
  TRun run;
  run.opened = true;
  run.judge = true;
  const std::string savedDest = destDir_;
  const bool savedTesting = testing_, savedDoAll = DoAll;
  struct TRestore {
    TZipReader& r;
    std::string dest;
    bool testing, doAll;
    ~TRestore() {
      r.destDir_ = dest;
      r.testing_ = testing;
      r.DoAll = doAll;
    }
  } restore{*this, savedDest, savedTesting, savedDoAll};
  destDir_.clear();
  testing_ = true;
  DoAll = true;
  try {
    UnZipFiles(TOutput::Test, run);
  } catch (const EUserCanceled&) {
    throw;
  } catch (const EFileNotAllThere&) {
    throw;
  } catch (const platform::Exception&) {
    return false;
  }
  for (int i = 0; i < Count(); ++i)
    if (!Entry(i)->FileName.empty() && Entry(i)->MatchFlag != kCheckGood) return false;
  return true;
}

}  // namespace zip
