// Self-extracting archives, repair of damaged archives and the configuration
// file beside a multi-part archive: all of them writing runs over the
// entries of an archive that already exists.

#include <algorithm>

#include "platform/DesktopPrompts.h"
#include "platform/DosFiles.h"
#include "platform/FileNames.h"
#include "zip/BufferStream.h"
#include "zip/ZipWriter.h"
#include "zip/ZipFileUtils.h"
#include "zip/ZipWriterRun.h"

namespace zip {

namespace {

using platform::ChangeFileExt;

std::string LowerExt(const std::string& name) {
  std::string ext = platform::ExtractFileExt(name);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext;
}

std::unique_ptr<TMemoryStream> LoadStub(const std::string& name) {
  auto stub = std::make_unique<TMemoryStream>();
  TLFNFileStream file(name, platform::fmOpenRead, false, 8192);
  stub->CopyFrom(file, 0);
  return stub;
}

}  // namespace

void TZipWriter::MakeSFX(const std::string& sfxStub, bool /*flag*/) {
  if (ZipName().empty()) return;
  stubStream_ = LoadStub(sfxStub);
  moveTarget_ = ChangeFileExt(ZipName(), ".EXE");
  FilesList.clear();
  try {
    RunZip(TRunKind::Files);
  } catch (...) {
    stubStream_.reset();
    moveTarget_.clear();
    throw;
  }
  stubStream_.reset();
  moveTarget_.clear();
}

int TZipWriter::MakeNewSFX(const std::string& sfxStub, const std::string& fName, const char* options,
                           int optionsLen) {
  if (sfxStub.empty() || fName.empty()) return 0;
  std::string target = fName;
  if (platform::FileExists(target) && LowerExt(target) == ".zip") target = ChangeFileExt(target, ".exe");
  // The stub and its options are put together in memory: no fixed file name
  // in a shared folder that another user could have planted first.
  stubStream_ = LoadStub(sfxStub);
  if (options && optionsLen > 0) {
    stubStream_->Seek(0, soFromEnd);
    stubStream_->WriteBuffer(options, optionsLen);
  }
  SetZipName(target);
  int count = 0;
  try {
    count = Zip();
  } catch (...) {
    stubStream_.reset();
    throw;
  }
  stubStream_.reset();
  return count;
}

void TZipWriter::SFXToZip(bool deleteSFX) {
  if (ZipName().empty()) return;
  const std::string sfx = ZipName();
  const std::string zipName = ChangeFileExt(sfx, ".zip");
  keepPrefix_ = false;
  moveTarget_ = zipName;
  FilesList.clear();
  try {
    RunZip(TRunKind::Files);
  } catch (...) {
    moveTarget_.clear();
    keepPrefix_ = true;
    throw;
  }
  moveTarget_.clear();
  ClearZip();
  SetZipName(zipName);
  ReadZip();
  // A plain archive turned into itself is the only copy there is.
  if (deleteSFX && zipName != sfx) platform::RemoveFile(sfx);
  keepPrefix_ = true;
}

int TZipWriter::FixZip(const std::string& inputFile, const std::string& outputFile) {
  // Damaged archives are read by scanning their local headers, here and in
  // the writing run that copies what was found. Only here: left on, repair
  // would rebuild and rewrite any archive without its end that a later run
  // of this writer updates, where it must be refused and left as it is.
  struct TRepair {
    bool& mode;
    bool saved;
    ~TRepair() { mode = saved; }
  } repair{repairMode_, repairMode_};
  repairMode_ = true;
  int count = 0;
  try {
    // The output is made from this input's entries, never from those of
    // another archive the writer happens to hold, nor from none.
    if (Count() == 0 || !scanned_ || ZipName() != inputFile) {
      ClearZip();
      SetZipName(inputFile);
      {
        platform::TBusyCursor busy;
        ScanZip();
      }
      for (int i = 0; i < Count(); ++i) FileIsOK(i);
      // Without an output name the caller sees what was found (and how it
      // tested) first, and calls again to have it written.
      if (outputFile.empty()) return 0;
    }
    std::string output = outputFile;
    if (output.empty()) {
      std::string start = platform::ExtractFilePath(inputFile);
      if (start.empty() || !platform::DirExists(start)) start = platform::CurrentDir();
      if (!platform::AskSaveFileName("Select a new name for the fixed file.", "Zip Files (*.ZIP)|*.zip", start,
                                     output))
        output.clear();
    }
    if (!output.empty()) {
      moveTarget_ = output;
      FilesList.clear();
      RunZip(TRunKind::Files);
      count = lastEntryCount_;
    }
  } catch (...) {
    moveTarget_.clear();
    throw;
  }
  moveTarget_.clear();
  return count;
}

void TZipWriter::SaveZipInfoToFile(const std::string& fName) {
  ReadZip();
  std::vector<const TZipHeaderInfo*> list;
  for (int i = 0; i < Count(); ++i) list.push_back(Entry(i));
  std::sort(list.begin(), list.end(), [](const TZipHeaderInfo* a, const TZipHeaderInfo* b) {
    return a->DiskNumberStart != b->DiskNumberStart ? a->DiskNumberStart < b->DiskNumberStart
                                                    : a->RelativeOffset < b->RelativeOffset;
  });
  TEndCentral end;
  end.Assign(endCentral_);
  if (end.ZipHasComment() && !end.ZipComment && zip_) end.ZipComment = endCentral_.GetZipComment(*zip_);
  WriteZipInfo(fName, list, end);
}

// The records are written without their extra field bytes, and so with an
// extra field length of 0: a length without the bytes would shift every
// record after it.
void TZipWriter::WriteZipInfo(const std::string& fName, const std::vector<const TZipHeaderInfo*>& entries,
                              const TEndCentral& end) {
  // Written beside the old one and renamed over it once whole.
  std::unique_ptr<TFileStream> created;
  try {
    const std::string folder = platform::ExtractFilePath(fName);
    created = TFileStream::CreateTemp(folder.empty() ? platform::CurrentDir() : folder, "pzc");
  } catch (const platform::Exception&) {
    throw ECantWriteUCF("Could not create a temporary file for " + fName);
  }
  const std::string temp = created->FileName();
  try {
    TLFNFileStream file(std::move(created), true, 8192);
    for (const TZipHeaderInfo* e : entries) {
      TZipHeaderInfo copy;
      copy.Assign(*e);
      if (copy.HasComment() && !copy.FileComment && zip_) copy.FileComment = e->GetFileComment(*zip_);
      copy.SaveCentralToStream(file);
    }
    TEndCentral copy;
    copy.Assign(end);
    copy.SaveToStream(file);
    if (!file.FinishWrites() || !file.FileStream().File().FlushToDisk()) {
      throw ENotEnoughRoom("Not enough room to write archive");
    }
  } catch (...) {
    platform::RemoveFile(temp);
    throw;
  }
  if (!RenameOver(temp, fName)) {
    platform::RemoveFile(temp);
    throw ECantWriteUCF("Could not replace " + fName);
  }
}

void TZipWriter::Split(bool deleteOriginal) {
  if (ZipName().empty()) return;
  ReadZip();
  const std::string original = ZipName();
  multiZipInfo_.MultiMode = mmBlocks;
  FilesList.clear();
  RunZip(TRunKind::Split);
  // A single part may have been written under the original's own name.
  if (deleteOriginal && std::find(lastParts_.begin(), lastParts_.end(), platform::UnixToDosPath(original)) ==
                            lastParts_.end()) {
    platform::RemoveFile(original);
  }
}

int64_t TZipWriter::DiskRoom() const {
  std::string name = platform::UnixToDosPath(ZipName());
  size_t slash = name.find_last_of('\\');
  std::string folder = slash == std::string::npos ? platform::CurrentDir() : name.substr(0, slash + 1);
  return platform::DiskFree(folder);
}

}  // namespace zip
