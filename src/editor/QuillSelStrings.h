#pragma once

// The selected text of an editor as a list of lines, read on demand from the
// document: what copying, dragging and the block commands work on. It owns
// no lines; a stream gives the cut first and last lines and the whole lines
// between, a column block one piece per row, padded with blanks to the
// block's width.

#include <string>

namespace quill {

class TCustomQuillEdit;

class TQuillSelStrings {
 public:
  explicit TQuillSelStrings(TCustomQuillEdit& editor) : editor_(editor) {}

  int Count() const;
  std::string Get(int index) const;
  // Every line followed by CR LF.
  std::string Text() const;
  // Deletes the selected text.
  void Clear();

 private:
  TCustomQuillEdit& editor_;
};

}  // namespace quill
