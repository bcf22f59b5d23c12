#include "zip/ZipWriter.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/DesktopPrompts.h"
#include "platform/DosFiles.h"
#include "zip/BufferStream.h"
#include "zip/DirSearch.h"
#include "zip/Wildcard.h"
#include "zip/ZipFileUtils.h"
#include "zip/ZipWriterRun.h"

namespace zip {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

TZipWriter::TZipWriter(TComponent* owner) : TZipReader(owner) {}
TZipWriter::~TZipWriter() = default;

void TZipWriter::SetStorePaths(bool value) {
  storePaths_ = value;
  if (!value) {
    storeVolumes_ = false;
    relativePaths_ = false;
  }
}

void TZipWriter::SetRelativePaths(bool value) {
  relativePaths_ = value;
  if (value) {
    storePaths_ = true;
    recurse_ = true;
  }
}

void TZipWriter::SetStoreVolumes(bool value) {
  storeVolumes_ = value;
  if (value) storePaths_ = true;
}

// File names differ by case on this system: a.zip and A.zip are two
// archives, and only the very same name keeps what was read.
void TZipWriter::SetZipName(const std::string& name) {
  if (name == ZipName()) return;
  TZipReader::SetZipName(name);
}

void TZipWriter::Assign(const TPersistent& source) {
  if (auto* other = dynamic_cast<const TZipWriter*>(&source)) {
    PackLevel = other->PackLevel;
    recurse_ = other->recurse_;
    Dispose = other->Dispose;
    storePaths_ = other->storePaths_;
    relativePaths_ = other->relativePaths_;
    storeVolumes_ = other->storeVolumes_;
    ZipAction = other->ZipAction;
    multiZipInfo_.Assign(other->multiZipInfo_);
    Store83Names = other->Store83Names;
    TempPath = other->TempPath;
    SkipIfArchiveBitNotSet = other->SkipIfArchiveBitNotSet;
    ResetArchiveBitOnZip = other->ResetArchiveBitOnZip;
    ExcludeList = other->ExcludeList;
    NoCompressList = other->NoCompressList;
    AddDirEntriesOnRecurse = other->AddDirEntriesOnRecurse;
    OnStartZip = other->OnStartZip;
    OnStartZipInfo = other->OnStartZipInfo;
    OnEndZip = other->OnEndZip;
    OnDisposeFile = other->OnDisposeFile;
    OnDeleteEntry = other->OnDeleteEntry;
    OnNoSuchFile = other->OnNoSuchFile;
    OnZipComplete = other->OnZipComplete;
    OnUpdate = other->OnUpdate;
    OnPrepareNextDisk = other->OnPrepareNextDisk;
    OnRecursingFile = other->OnRecursingFile;
    OnEncrypt = other->OnEncrypt;
  }
  TZipReader::Assign(source);
}

int TZipWriter::Zip() {
  int count = RunZip(TRunKind::Files);
  if (OnZipComplete) OnZipComplete(this, count);
  return count;
}

int TZipWriter::ZipFromStream(TStream* stream, const std::string& fName) {
  if (fName.empty() || !stream) return 0;
  FilesList.clear();
  FilesList.push_back(fName);
  sourceStream_ = stream;
  int count = 0;
  try {
    count = RunZip(TRunKind::FromStream);
  } catch (...) {
    sourceStream_ = nullptr;
    throw;
  }
  sourceStream_ = nullptr;
  if (OnZipComplete) OnZipComplete(this, count);
  CloseZip();
  return count;
}

int TZipWriter::ZipFromBuffer(const char* buffer, int amount, const std::string& fName) {
  if (fName.empty() || !buffer || amount < 0) return 0;
  FilesList.clear();
  FilesList.push_back(fName);
  sourceBuffer_ = buffer;
  sourceAmount_ = amount;
  int count = 0;
  try {
    count = RunZip(TRunKind::FromBuffer);
  } catch (...) {
    sourceBuffer_ = nullptr;
    throw;
  }
  sourceBuffer_ = nullptr;
  if (OnZipComplete) OnZipComplete(this, count);
  CloseZip();
  return count;
}

int TZipWriter::DeleteEntries() { return RunZip(TRunKind::Delete); }

void TZipWriter::ForgetArchive() {
  zipFile_.reset();
  zip_ = archiveStream_.get();
  entries_.reset();
  sortView_.reset();
  endCentral_.Clear();
  archiveDate_.reset();
  scanned_ = false;
  selectedCount_ = 0;
  endModified_ = commentsModified_ = false;
}

int TZipWriter::RunZip(TRunKind kind) {
  TZipWriteRun run(*this, kind);
  return run.Execute();
}

void TZipWriter::SaveModifiedZipFile() {
  if (!IsModified()) return;
  FilesList.clear();
  RunZip(TRunKind::Files);
  modified_ = false;
}

// The directory is read once; reading it again would drop the renames and
// new dates waiting to be saved.
void TZipWriter::EnsureRead() {
  if (!entries_ && (ArchiveStream() || platform::FileExists(ZipName()))) ReadZip();
}

void TZipWriter::SetPathname(int index, const std::string& value) {
  EnsureRead();
  CheckIndex(index);
  TZipHeaderInfo* entry = Entry(index);
  std::string dir = platform::UnixToDosPath(value);
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  if (dir == entry->Directory) return;
  entry->SetDirectory(dir);
  modified_ = true;
}

void TZipWriter::SetFilename(int index, const std::string& value) {
  EnsureRead();
  CheckIndex(index);
  TZipHeaderInfo* entry = Entry(index);
  if (value == entry->FileName) return;
  entry->SetFileName(value);
  modified_ = true;
}

void TZipWriter::SetDateTime(int index, platform::TDateTime value) {
  EnsureRead();
  CheckIndex(index);
  TZipHeaderInfo* entry = Entry(index);
  uint32_t dos = platform::DateTimeToDosDateTime(value);
  if (dos == entry->DateTime) return;
  entry->DateTime = dos;
  modified_ = true;
}

void TZipWriter::ResetArchiveBit(const std::string& fName) {
  int attr = platform::FileGetAttr(fName);
  if (attr >= 0) platform::FileSetAttr(fName, static_cast<uint32_t>(attr) & ~platform::faArchive);
}

bool TZipWriter::IsInList(const std::vector<std::string>& list, const std::string& fName) const {
  std::string name = Lower(platform::UnixToDosPath(fName));
  size_t slash = name.find_last_of('\\');
  std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  for (const auto& item : list) {
    std::string pattern = Lower(platform::UnixToDosPath(item));
    if (IsMatch(pattern, pattern.find('\\') != std::string::npos ? name : file)) return true;
  }
  return false;
}

bool TZipWriter::IsInExcludeList(const std::string& fName) const { return IsInList(ExcludeList, fName); }

bool TZipWriter::IsInNoCompressList(const std::string& fName) const { return IsInList(NoCompressList, fName); }

std::string TZipWriter::TemporaryPath() const {
  if (!TempPath.empty() && platform::DirExists(TempPath)) {
    std::string p = TempPath;
    if (p.back() != '\\' && p.back() != '/') p += '\\';
    return p;
  }
  return platform::TempDir();
}

}  // namespace zip
