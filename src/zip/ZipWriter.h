#pragma once

// The writing side of the zip component: creates archives, adds, replaces,
// deletes and renames entries, and writes multi-part and self-extracting
// archives. Everything the reader knows (the archive name, the entry list,
// extraction) it inherits.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zip/Deflate.h"
#include "zip/MultiZipInfo.h"
#include "zip/ZipReader.h"
#include "zip/ZipRecords.h"
#include "zip/ZipWriterSupport.h"

namespace zip {

// A size or count the archive format has no room for (4 GiB and more,
// more than 65535 entries): the run stops instead of writing a wrapped value.
class EZipLimitExceeded : public platform::Exception {
 public:
  using Exception::Exception;
};

enum TZipAction { zaUpdate, zaReplace, zaFreshen };
enum TUpdateAction { uaReplacing, uaKeeping };

class TZipWriter : public TZipReader {
 public:
  using TStartZipInfoEvent = std::function<void(TZipWriter* sender, int numFiles, double totalBytes,
                                                TEndCentral& endCentralRecord, bool& stopNow)>;
  using TStartZipEvent =
      std::function<void(TZipWriter* sender, const std::string& fName, TZipHeaderInfo& zipHeader, bool& skip)>;
  using TEndZipEvent = std::function<void(TZipWriter* sender, const std::string& fName, int64_t uncompressedSize,
                                          int64_t compressedSize, int64_t currentZipSize)>;
  using TNameSkipEvent = std::function<void(TZipWriter* sender, const std::string& fName, bool& skip)>;
  using TNameEvent = std::function<void(TZipWriter* sender, const std::string& fName)>;
  using TCountEvent = std::function<void(TZipWriter* sender, int count)>;
  using TUpdateEvent = std::function<void(TZipWriter* sender, TUpdateAction action, int fileIndex)>;
  using TEncryptEvent =
      std::function<void(TZipWriter* sender, uint8_t* buffer, int length, const std::string& password)>;

  explicit TZipWriter(TComponent* owner = nullptr);
  ~TZipWriter() override;

  // Operations.
  int Zip();
  int ZipFromStream(TStream* stream, const std::string& fName);
  int ZipFromBuffer(const char* buffer, int amount, const std::string& fName);
  int DeleteEntries();
  void SaveModifiedZipFile();
  void SetPathname(int index, const std::string& value);
  void SetFilename(int index, const std::string& value);
  void SetDateTime(int index, platform::TDateTime value);
  void ResetArchiveBit(const std::string& fName);
  bool IsInExcludeList(const std::string& fName) const;
  bool IsInNoCompressList(const std::string& fName) const;
  std::string TemporaryPath() const;
  void SetZipName(const std::string& name) override;
  void Assign(const TPersistent& source) override;

  // Multi-part archives.
  int64_t DiskRoom() const;
  void Split(bool deleteOriginal);

  // Self-extracting archives, repair and the configuration file.
  void MakeSFX(const std::string& sfxStub, bool flag);
  int MakeNewSFX(const std::string& sfxStub, const std::string& fName, const char* options, int optionsLen);
  void SFXToZip(bool deleteSFX);
  int FixZip(const std::string& inputFile, const std::string& outputFile);
  void SaveZipInfoToFile(const std::string& fName);

  // Published properties.
  int PackLevel = 6;
  bool Dispose = false;
  TZipAction ZipAction = zaUpdate;
  bool Store83Names = false;
  std::string TempPath;
  bool SkipIfArchiveBitNotSet = false;
  bool ResetArchiveBitOnZip = false;
  std::vector<std::string> ExcludeList;
  std::vector<std::string> NoCompressList;
  bool AddDirEntriesOnRecurse = false;

  bool Recurse() const { return recurse_; }
  bool StorePaths() const { return storePaths_; }
  bool RelativePaths() const { return relativePaths_; }
  bool StoreVolumes() const { return storeVolumes_; }
  void SetRecurse(bool value) { recurse_ = value; }
  void SetStorePaths(bool value);
  void SetRelativePaths(bool value);
  void SetStoreVolumes(bool value);
  TMultiZipInfo& MultiZipInfo() { return multiZipInfo_; }
  void SetMultiZipInfo(const TMultiZipInfo& value) { multiZipInfo_.Assign(value); }
  TMultiMode GetMultiMode() const override { return multiZipInfo_.MultiMode; }
  void SetMultiMode(TMultiMode value) override { multiZipInfo_.MultiMode = value; }
  bool GetCheckDiskLabels() const override { return multiZipInfo_.CheckDiskLabels; }
  void SetCheckDiskLabels(bool value) override { multiZipInfo_.CheckDiskLabels = value; }

  // Events.
  TStartZipEvent OnStartZip;
  TStartZipInfoEvent OnStartZipInfo;
  TEndZipEvent OnEndZip;
  TNameSkipEvent OnDisposeFile;
  TNameSkipEvent OnDeleteEntry;
  TNameEvent OnNoSuchFile;
  TCountEvent OnZipComplete;
  TUpdateEvent OnUpdate;
  TCountEvent OnPrepareNextDisk;
  TNameEvent OnRecursingFile;
  TEncryptEvent OnEncrypt;

 private:
  friend class TZipWriteRun;
  enum class TRunKind { Files, FromStream, FromBuffer, Delete, Split };

  int RunZip(TRunKind kind);
  // Drops what was read of the archive (entries, end record, open file) but
  // keeps its name, so that the next access reads the new content.
  void ForgetArchive();
  bool IsModified() const { return modified_ || endModified_ || commentsModified_; }
  void WriteZipInfo(const std::string& fName, const std::vector<const TZipHeaderInfo*>& entries,
                    const TEndCentral& end);
  bool IsInList(const std::vector<std::string>& list, const std::string& fName) const;
  void EnsureRead();

  bool recurse_ = false;
  bool storePaths_ = false;
  bool relativePaths_ = false;
  bool storeVolumes_ = false;
  TMultiZipInfo multiZipInfo_;

  // Input of ZipFromStream / ZipFromBuffer for the run in progress.
  TStream* sourceStream_ = nullptr;
  const char* sourceBuffer_ = nullptr;
  int sourceAmount_ = 0;

  // Self-extracting and repair settings.
  std::unique_ptr<TStream> stubStream_;
  std::string moveTarget_;
  bool keepPrefix_ = false;

  bool modified_ = false;  // an entry was renamed or re-dated
  int lastEntryCount_ = 0;  // entries in the archive the last run wrote
  std::vector<std::string> lastParts_;  // files of the last multi-part run
};

}  // namespace zip
