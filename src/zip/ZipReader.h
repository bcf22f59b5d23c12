#pragma once

// TZipReader opens a zip archive held in a file or a stream, reads its directory into
// TZipHeaderInfo entries, answers questions about them and extracts them into a folder,
// a stream or memory. TZipWriter builds on it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Exception.h"
#include "zip/ObjectList.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipRecords.h"
#include "zip/ZipStreams.h"

namespace zip {

#define PARLO_ZIP_EXCEPTION(Name)        \
  class Name : public platform::Exception { \
   public:                                \
    using Exception::Exception;           \
  };
PARLO_ZIP_EXCEPTION(EBadZipFile)
PARLO_ZIP_EXCEPTION(EFileNotAllThere)
PARLO_ZIP_EXCEPTION(EIncompleteZip)
PARLO_ZIP_EXCEPTION(ENotAZipFile)
PARLO_ZIP_EXCEPTION(EFatalUnzipError)
PARLO_ZIP_EXCEPTION(EUserCanceled)
PARLO_ZIP_EXCEPTION(EInvalidPassword)
PARLO_ZIP_EXCEPTION(EBiggerThanUncompressed)
PARLO_ZIP_EXCEPTION(ENotEnoughRoom)
PARLO_ZIP_EXCEPTION(ECantWriteUCF)
#undef PARLO_ZIP_EXCEPTION

enum TUZOverwriteMode { Prompt, Always, Never, ifNewer, ifOlder };
enum TIncompleteZipMode { izAssumeMulti, izAssumeBad, izAssumeNotAZip };
enum TMultiMode { mmNone, mmSpan, mmBlocks };
enum TSkipReason { srBadPassword, srNoOverwrite, srFileOpenError, srCreateError };

class TZipReader;
using TStartUnZipInfoEvent = std::function<void(TZipReader* sender, int numFiles, double totalBytes, bool& stopNow)>;
using TPercentDoneEvent = std::function<void(TZipReader* sender, int percent)>;
using TStartUnZipEvent = std::function<void(TZipReader* sender, int fileIndex, std::string& fName, bool& skip)>;
using TEndUnZipEvent = std::function<void(TZipReader* sender, int fileIndex, const std::string& fName)>;
using TPromptForOverwriteEvent =
    std::function<void(TZipReader* sender, bool& overWriteIt, int fileIndex, std::string& fName)>;
using TSkippingFileEvent =
    std::function<void(TZipReader* sender, TSkipReason reason, const std::string& fName, int fileIndex, bool& retry)>;
using TBadPasswordEvent = std::function<void(TZipReader* sender, int fileIndex, std::string& newPassword)>;
using TBadCRCEvent = std::function<void(TZipReader* sender, uint32_t calcCRC, uint32_t storedCRC, int fileIndex)>;
using TInCompleteZipEvent = std::function<void(TZipReader* sender, TIncompleteZipMode& incompleteMode)>;
using TGetNextDiskEvent = std::function<void(TZipReader* sender, int nextDisk, std::string& fName)>;
using TUnZipCompleteEvent = std::function<void(TZipReader* sender, int fileCount)>;
using TGetNextBufferEvent = std::function<void(TZipReader* sender, std::vector<uint8_t>& buffer,
                                              const std::string& fName, int amountUsed, int bufferNum, bool& quit)>;
using TDecryptEvent =
    std::function<void(TZipReader* sender, uint8_t* buffer, int length, const std::string& password)>;

class TZipReader : public TComponent, public TPersistent {
 public:
  explicit TZipReader(TComponent* owner = nullptr);
  ~TZipReader() override;
  TZipReader(const TZipReader&) = delete;
  TZipReader& operator=(const TZipReader&) = delete;
  std::string ClassName() const override { return "TZipReader"; }
  void Assign(const TPersistent& source) override;

  // --- properties
  int ThisVersion = 223;
  const std::string& ZipName() const { return zipName_; }
  virtual void SetZipName(const std::string& name);
  const std::string& DestDir() const { return destDir_; }
  void SetDestDir(const std::string& dir);
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& dir);
  TZipSortMode SortMode() const { return sortMode_; }
  void SetSortMode(TZipSortMode mode) { Sort(mode); }
  bool KeepZipOpen() const { return keepZipOpen_; }
  void SetKeepZipOpen(bool keep);
  // A stream holding the archive instead of a file; the reader takes ownership.
  void SetArchiveStream(TStream* stream);
  TStream* ArchiveStream() const { return archiveStream_.get(); }

  bool RecreateDirs = false;
  TUZOverwriteMode OverwriteMode = Prompt;
  std::vector<std::string> FilesList;
  bool DoAll = false;
  TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
  bool DoProcessMessages = true;
  bool RetainAttributes = true;
  bool ReplaceReadOnly = false;
  bool FlushFilesOnClose = false;
  bool OEMConvert = true;
  std::string Password;
  bool EncryptBeforeCompress = false;
  bool CheckDiskLabels = true;
  int BufferSize = 8192;     // buffer of every file stream the component opens
  int BufferLength = 0;      // > 0: memory output goes in pieces of this length
  // Guards against entries too large to hold in memory and archives that list
  // endless entries. Exceeding one is an error (ENotEnoughRoom, EBadZipFile)
  // before anything is written; unpacking to files is bounded by the free space.
  int64_t MaxBufferAllocation = int64_t(512) << 20;
  // Above the 65535 a count can say: a directory's size may hold more.
  int MaxEntryCount = 1 << 20;

  // --- events
  TStartUnZipInfoEvent OnStartUnZipInfo;
  TPercentDoneEvent OnFilePercentDone;
  TPercentDoneEvent OnTotalPercentDone;
  TStartUnZipEvent OnStartUnZip;
  TEndUnZipEvent OnEndUnZip;
  TPromptForOverwriteEvent OnPromptForOverwrite;
  TSkippingFileEvent OnSkippingFile;
  TBadPasswordEvent OnBadPassword;
  TBadCRCEvent OnBadCRC;
  TInCompleteZipEvent OnInCompleteZip;
  TGetNextDiskEvent OnGetNextDisk;
  TUnZipCompleteEvent OnUnZipComplete;
  TGetNextBufferEvent OnGetNextBuffer;
  TDecryptEvent OnDecrypt;

  // --- directory
  void ReadZip();
  void OpenZip();
  void CloseZip();
  void ClearZip();
  int Count() const;
  TZipHeaderInfo* Entry(int index) const;  // sort-view index; raises when out of range
  std::string Filename(int index) const { return Entry(index)->FileName; }
  std::string Pathname(int index) const { return Entry(index)->Directory; }
  std::string Fullname(int index) const { return Entry(index)->FullName(); }
  int CompressMethod(int index) const { return Entry(index)->CompressionMethod; }
  std::string CompressMethodStr(int index) const;
  platform::TDateTime DateTime(int index) const;
  uint32_t Crc(int index) const { return Entry(index)->CRC32; }
  int64_t CompressedSize(int index) const { return Entry(index)->CompressedSize; }
  int64_t UnCompressedSize(int index) const { return Entry(index)->UncompressedSize; }
  uint32_t ExternalFileAttributes(int index) const { return Entry(index)->ExternalAttributes; }
  bool IsEncrypted(int index) const { return Entry(index)->IsEncrypted(); }
  bool HasComment(int index) const { return Entry(index)->HasComment(); }
  std::string FileComment(int index);
  void SetFileComment(int index, const std::string& comment);
  int DiskNo(int index) const { return Entry(index)->DiskNumberStart; }
  bool Selected(int index) const { return Entry(index)->Selected != 0; }
  void SetSelected(int index, bool selected);
  int SelectedCount() const { return selectedCount_; }
  void ClearSelected();
  bool FileIsOK(int index);
  void ResetFileIsOK(int index) { Entry(index)->MatchFlag = kCheckUntested; }
  bool CheckArchive();
  void Sort(TZipSortMode mode);
  void FillList(std::vector<std::string>& lines);
  int64_t ZipSize() const;
  std::string ZipComment();
  void SetZipComment(const std::string& comment);
  bool ZipHasComment() const { return endCentral_.ZipHasComment(); }
  void CancelTheOperation() { cancel_ = true; }
  bool Busy() const { return busy_; }
  // What the last decompression had to say when it could not run.
  const std::string& StatusText() const { return statusText_; }
  int NumDisks() const { return numDisks_; }
  void WriteNumDisks(int n) { numDisks_ = n; }
  virtual TMultiMode GetMultiMode() const { return multiMode_; }
  virtual void SetMultiMode(TMultiMode mode) { multiMode_ = mode; }
  virtual bool GetCheckDiskLabels() const { return CheckDiskLabels; }
  virtual void SetCheckDiskLabels(bool check) { CheckDiskLabels = check; }
  // The 12 raw header bytes of an encrypted entry (zeros for one that is not).
  void GetDecryptHeaderPtr(int index, uint8_t* header);

  // --- parts of a multi-part archive (disks count from 1 here)
  TStream* SwapDisk(int disk);
  TStream* AskForNewDisk(int disk) { return SwapDisk(disk); }
  void NewDiskEvent(TPersistent* sender, TStream*& stream);
  // The handler OnGetNextDisk starts with.
  void DefaultGetNextDisk(TZipReader* sender, int nextDisk, std::string& fName);

  // --- extraction
  int UnZip();
  int UnZipSelected();
  int UnZipToStream(TStream* stream, const std::string& fName);
  int UnZipToStreamByIndex(TStream* stream, int index);
  // An empty buffer is sized to the entry; a filled one is the room the caller offers.
  int UnZipToBuffer(std::vector<uint8_t>& buffer, const std::string& fName);
  int UnZipToBufferByIndex(std::vector<uint8_t>& buffer, int index);

 protected:
  enum class TOutput { File, Stream, Memory, Test };
  struct TRun;
  class TKeepOpen;
  class TOpenForEntry;
  class TPhysicalOrder;
  class TEntrySource;
  class TEntrySink;

  void GetFileInfo();
  // ClearZip less the archive's name.
  void ClearZipContents();
  // Reads the entries by scanning the local headers (repair).
  void ScanZip();
  bool ReadEndRecord(TStream& stream);
  void ReadPartedDirectory(TStream* config);
  // Multi-part reading: the disk (from 0) holding an offset, and reads and skips
  // that carry on into the next part at the end of one.
  void FetchDisk(int disk);
  int64_t ReadAcross(void* buffer, int64_t count);
  void SkipAcross(int64_t count);
  bool HasNextDisk() const;
  bool ReadCentralRecord(TZipHeaderInfo& entry, TStream& stream, TZipHeaderInfo* previous);
  void ScanLocalHeaders();
  bool FindDataDescriptor(int64_t dataStart, TZipHeaderInfo& entry);
  void RebuildSortView();
  void ProcessMessages();
  int UnZipToFiles(bool selectedOnly);
  int UnZipFiles(TOutput output, TRun& run);
  // 1 extracted, 0 left, -1 asks for another try with a new password.
  int ExtractEntry(int index, TRun& run);
  // Whether the overwrite mode, without asking anyone, keeps the file already at outName.
  bool KeepsExisting(const TZipHeaderInfo& entry, const std::string& outName) const;
  // FileIsOK with a run that may be shared by the tests of many entries.
  bool TestEntry(int index, TRun& run);
  // The folder and name an entry is written to: DestDir, then with RecreateDirs
  // its stored folder. For a file, false when the name is not one to write.
  bool OutputName(const TZipHeaderInfo& entry, bool toFile, std::string& folder, std::string& name) const;
  void CheckIndex(int index) const;

  std::string zipName_;
  std::string destDir_;
  std::string rootDir_;
  TZipSortMode sortMode_ = ByNone;
  bool keepZipOpen_ = false;
  std::unique_ptr<TStream> archiveStream_;  // a caller's archive held in a stream
  std::unique_ptr<TStream> zipFile_;        // the open archive file
  TStream* zip_ = nullptr;                  // whichever of the two is in use
  std::unique_ptr<TSortedZip> entries_;     // archive order; owns the entries
  std::unique_ptr<TSortedZip> sortView_;    // another order; owns nothing
  TEndCentral endCentral_;
  bool endModified_ = false;
  bool commentsModified_ = false;
  std::optional<uint32_t> archiveDate_;
  bool scanned_ = false;
  bool repairMode_ = false;    // no end record: scan the local headers without asking
  bool readingParts_ = false;  // OnGetNextDisk is asked for a part to read
  int numDisks_ = 1;
  int currentDisk_ = 0;       // the part zip_ reads, from 0
  int zipNameDisk_ = 0;       // the part ZipName itself is
  std::string openName_;      // the file behind zipFile_
  TMultiMode multiMode_ = mmNone;
  int selectedCount_ = 0;
  bool cancel_ = false;
  bool busy_ = false;
  bool testing_ = false;
  std::string statusText_;
  TZipCrypt crypt_;
};

}  // namespace zip
