#pragma once

// Undo records of a document. Each text or position change can leave one record;
// a replay walks them backwards through the document's own operations, which
// record their inverses into the opposite list.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillBookmarks.h"
#include "editor/QuillContainers.h"
#include "editor/QuillStrings.h"

namespace quill {

// The kinds of document change named in notifications and undo records.
enum TQuillOperation : uint8_t {
  oprNavigate,
  oprInsert,
  oprDelete,
  oprJoin,
  oprBreak,
  oprInsertBlock,
  oprDeleteBlock,
  oprInsertObject,
  oprOther,
  oprBlockUndo,
  oprUpdateBlock,
  oprUpdateData,
  oprUpdateObject,
  oprUpdateParagraph,
  oprUpdateLine,
  oprUpdateLines,
};

// Text carried by a record: the text, its data words and where it was.
struct TStoreStringRec {
  std::string S;
  TQuillData Data;
  int X = 0;
  int Y = 0;
  int Value = 0;
  // Bookmarks a delete pulled to its start, or a join left at its end, with their
  // places before it, so that the undo puts them back.
  std::vector<TQuillBookMark> Marks;
};

struct TQuillUndoRecord {
  TQuillOperation Operation = oprNavigate;
  TQuillOperation GroupOperation = oprNavigate;
  bool Locked = false;
  bool GroupStart = false;
  int Value = 0;                           // integer payload (counts, paragraph indexes)
  // oprNavigate: the move (DX, DY); oprInsert: X blanks padded the line out
  // to the insertion; oprJoin: where the line was joined, from the position.
  TPoint Point;
  std::unique_ptr<TStoreStringRec> Store;  // text payload
  std::shared_ptr<void> Block;             // payloads of derived documents
};
using PQuillUndoRecord = TQuillUndoRecord*;

class TQuillUndoList : public TQuillRecordList<TQuillUndoRecord> {
 public:
  bool ChangesOnly = false;  // mirrors the document's "undo only changes" option

  void Clear() override { TQuillRecordList<TQuillUndoRecord>::Clear(); }
  static void DestroyUndoRecord(TQuillUndoRecord& r) {
    r.Store.reset();
    r.Block.reset();
  }
  TQuillUndoRecord* Last() { return Count() > 0 ? Get(Count() - 1) : nullptr; }
  void DeleteLast() {
    if (Count() > 0) Delete(Count() - 1);
  }
};

}  // namespace quill
