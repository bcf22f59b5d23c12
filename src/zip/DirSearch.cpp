#include "zip/DirSearch.h"

#include "zip/Wildcard.h"
#include "zip/ZipFileUtils.h"

namespace zip {

TSearchData::TSearchData(const std::string& path, const std::string& mask) : path_(path), mask_(mask) {
  if (path_.empty() || (path_.back() != '\\' && path_.back() != '/')) path_ += '\\';
  if (!platform::ListDir(path_, entries_)) findResult_ = frPathNotFound;
  else if (entries_.empty()) findResult_ = frNoMoreFiles;
}

void TSearchData::Next() {
  if (findResult_ != frFound) return;
  if (++pos_ >= entries_.size()) findResult_ = frNoMoreFiles;
}

TDirSearch::TDirSearch(const std::string& startDir, const std::string& fileMask, bool recurse)
    : fileMask_(fileMask), recurse_(recurse) {
  std::string start = startDir;
  if (start.empty() || (start.back() != '\\' && start.back() != '/')) start += '\\';
  std::string fixed = start;
  const size_t wild = start.find_first_of("*?<>|");
  if (wild != std::string::npos) {
    const size_t cut = start.find_last_of("\\/", wild);
    fixed = cut == std::string::npos ? std::string() : start.substr(0, cut + 1);
    std::string rest = start.substr(cut == std::string::npos ? 0 : cut + 1);
    size_t pos = 0;
    while (pos < rest.size()) {
      size_t next = rest.find_first_of("\\/", pos);
      if (next == std::string::npos) next = rest.size();
      if (next > pos) dirMasks_.push_back(rest.substr(pos, next - pos));
      pos = next + 1;
    }
  }
  stack_.push_back(std::make_unique<TSearchData>(fixed, dirMasks_.empty() ? fileMask_ : dirMasks_[0]));
}

std::string TDirSearch::NextFile(TSearchRec& searchRec) {
  const int levels = static_cast<int>(dirMasks_.size());
  while (!stack_.empty()) {
    TSearchData& data = *stack_.back();
    const int depth = static_cast<int>(stack_.size()) - 1;
    if (data.Done()) {
      stack_.pop_back();
      if (stack_.empty()) return {};
      if (maskLevel_ > 0 && depth <= levels) --maskLevel_;
      stack_.back()->Next();
      continue;
    }
    const TSearchRec& rec = data.Current();
    // A link to a folder is never entered: it could lead out of the tree or
    // round in a circle. A link to a file is that file.
    const bool childDir = IsChildDir(rec) && !rec.symLink;
    if (depth < levels) {
      if (childDir && IsMatch(dirMasks_[depth], rec.name) && depth < kMaxDepth) {
        const std::string sub = data.Path() + rec.name;
        ++maskLevel_;
        stack_.push_back(
            std::make_unique<TSearchData>(sub, depth + 1 < levels ? dirMasks_[depth + 1] : fileMask_));
      } else {
        data.Next();
      }
      continue;
    }
    if (IsDir(rec) || (rec.symLink && !rec.linksToFile)) {
      if (recurse_ && childDir && depth < kMaxDepth) {
        const std::string sub = data.Path() + rec.name;
        stack_.push_back(std::make_unique<TSearchData>(sub, fileMask_));
        searchRec = rec;
        return sub + '\\';
      }
      data.Next();
      continue;
    }
    std::string test = rec.name;
    if (test.find('.') == std::string::npos) test += '.';
    if (IsMatch(fileMask_, test)) {
      searchRec = rec;
      const std::string result = data.Path() + rec.name;
      data.Next();
      return result;
    }
    data.Next();
  }
  return {};
}

}  // namespace zip
