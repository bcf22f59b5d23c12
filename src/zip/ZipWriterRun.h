#pragma once

// One writing run of TZipWriter: every piece of state that lives from the
// start of Zip (or DeleteEntries, or a rewrite) to its end, so that a failed
// run can drop all of it and leave the archive as it was.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "zip/ZipWriter.h"

namespace zip {

class TZipWriteRun {
 public:
  TZipWriteRun(TZipWriter& writer, TZipWriter::TRunKind kind);
  ~TZipWriteRun();
  TZipWriteRun(const TZipWriteRun&) = delete;
  TZipWriteRun& operator=(const TZipWriteRun&) = delete;

  // The number of entries written from files (or deleted, for a delete run).
  int Execute();

  // Checked output to the archive; public for the stream adapters.
  void WriteArchive(const void* data, int64_t size);
  void PollCancel();
  void AddDone(int64_t bytes);
  void ReportTotal();

 private:
  struct TNewEntry {
    std::unique_ptr<TZipHeaderInfo> info;
    std::string centralExtra;  // extra field bytes of the central record
  };

  void Run();
  void ExpandFileList();
  bool KeepForFreshen(const std::string& fName);
  void AddFound(const std::string& fName, int64_t size);
  void NoSuchFile(const std::string& fName);
  void ComputeFirstRoom();
  void OpenTarget();
  void ProcessOlderEntries();
  bool NameMatchesEntry(const std::string& fName, const TZipHeaderInfo& entry) const;
  void KeepCentralBytes(TZipHeaderInfo& entry, std::string& extra);
  void MoveKeptEntry(TZipHeaderInfo& entry);
  bool AddFileToZip(const std::string& fName);
  void WriteEntryData(TZipHeaderInfo& entry, const std::string& fName, TStream* input, int64_t size,
                      TStream& target);
  void WriteCentralDirectory();
  void WriteEndRecord();
  void FinishOutput();
  void Succeed();
  void Fail();

  std::string StoredFolder(const std::string& fName) const;
  std::string StoredName(const std::string& fName) const;
  void CheckOffset();
  void AppendEntry(std::unique_ptr<TZipHeaderInfo> info, std::string centralExtra);

  // Multi-part output.
  bool Multi() const { return multiMode_ != mmNone; }
  void RefuseParted();
  std::string PartName(int disk) const;
  void OpenPart(const std::string& name);
  void ClosePart();
  void NextPart();
  void EnsureRoom(int64_t size);
  int64_t RoomLeft() const { return partRoom_ - partWritten_; }
  void CopyStagedData(TStream& staged, int64_t size);

  TZipWriter& w_;
  TZipWriter::TRunKind kind_;
  TMultiMode multiMode_ = mmNone;
  std::string partBase_;  // the name whose extension numbers the parts

  // The archive being written: a file (temporary, target or part) or a stream.
  std::unique_ptr<TStream> ownedOut_;
  TStream* out_ = nullptr;
  std::unique_ptr<TStream> checked_;  // out_ behind the write check
  bool outIsTemp_ = false;
  std::vector<std::string> partsWritten_;
  std::vector<std::string> partTemps_;  // numbered parts: where each is written until the set is whole
  std::string finalTarget_;

  std::unique_ptr<TMemoryStream> memoryTarget_;  // an ArchiveStream being updated

  bool olderExists_ = false;
  std::vector<TNewEntry> entries_;
  std::set<std::string> byName_;  // full names of entries_
  TEndCentral newEnd_;
  int currentDisk_ = 0;
  int64_t partRoom_ = INT64_MAX;
  int64_t partWritten_ = 0;
  int64_t centralBytes_ = 0;

  int64_t totalBytes_ = 0;
  int64_t doneBytes_ = 0;

  std::vector<std::string> disposeList_;
  int filesZipped_ = 0;
  bool unreadable_ = false;  // the last file AddFileToZip left out could not be read
  int deleted_ = 0;
  std::vector<std::string> tempFiles_;  // removed at the end, whatever happens

  TZipSortMode savedSortMode_ = ByNone;
  bool savedKeepZipOpen_ = false;
  TZipEncoder encoder_;
  std::unique_ptr<TDeflater> deflater_;
};

}  // namespace zip
