#pragma once

// A depth-first walk over folders for the files that match a mask. The start path may
// itself hold wildcards per folder level ("in\*\logs").

#include <memory>
#include <string>
#include <vector>

#include "platform/DosFiles.h"

namespace zip {

using TSearchRec = platform::TDirEntry;

// What the last step of a listing found.
enum TFindResult { frFound = 0, frNoMoreFiles, frPathNotFound };

// One open folder listing.
class TSearchData {
 public:
  TSearchData(const std::string& path, const std::string& mask);
  // Steps on when the last step found an entry.
  void Next();
  TFindResult FindResult() const { return findResult_; }
  bool Done() const { return findResult_ != frFound; }
  const TSearchRec& Current() const { return entries_[pos_]; }
  const std::string& Path() const { return path_; }
  const std::string& Mask() const { return mask_; }

 private:
  std::string path_;  // always ends in "\"
  std::string mask_;
  std::vector<TSearchRec> entries_;
  size_t pos_ = 0;
  TFindResult findResult_ = frFound;
};

class TDirSearch {
 public:
  static constexpr int kMaxDepth = 20;

  TDirSearch(const std::string& startDir, const std::string& fileMask, bool recurse);
  // The next matching file's full path, or a sub-folder's path ending in "\" as the walk
  // enters it (with recursion); "" at the end of the walk.
  std::string NextFile(TSearchRec& searchRec);
  static bool IsDir(const TSearchRec& rec) { return (rec.attr & platform::faDirectory) != 0; }
  static bool IsChildDir(const TSearchRec& rec) { return IsDir(rec) && !rec.name.empty() && rec.name[0] != '.'; }

 private:
  std::vector<std::unique_ptr<TSearchData>> stack_;
  std::string fileMask_;
  bool recurse_;
  std::vector<std::string> dirMasks_;
  int maskLevel_ = 0;
};

}  // namespace zip
