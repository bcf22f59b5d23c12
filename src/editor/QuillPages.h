#pragma once

// Pages: an editor shows its text as one endless sheet, as a sheet with
// page-break lines, or as paper pages on a grey desk. A page knows its paper
// and margins and, once measured, which text falls on it. Pages are measured
// and added lazily, as painting, scrolling and look-ups reach them.

#include <memory>
#include <vector>

#include "editor/QuillEditorView.h"

namespace quill {

enum class TQuillPageSize : uint8_t {
  psLetter, psLegal, psExecutive, psA3, psA4, psA5,
  psEnvelope10, psEnvelopeDL, psEnvelopeC5, psEnvelopeMonarch, psOther
};
enum class TQuillPageOrientation : uint8_t { pgPortrait, pgLandscape };
enum class TQuillNumAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

class TQuillPages;

class TQuillPage {
 public:
  explicit TQuillPage(TQuillPages* collection);

  // Paper, in millimetres; setting either makes the size psOther.
  int PageWidth() const { return pageWidth_; }
  void SetPageWidth(int value);
  int PageHeight() const { return pageHeight_; }
  void SetPageHeight(int value);
  TQuillPageSize PageSize() const { return pageSize_; }
  void SetPageSize(TQuillPageSize value);
  TQuillPageOrientation Orientation() const { return orientation_; }
  void SetOrientation(TQuillPageOrientation value);
  // Margins around the text and the desk around the page, in pixels; never
  // below 0.
  int LeftIndent() const { return leftIndent_; }
  void SetLeftIndent(int value);
  int TopIndent() const { return topIndent_; }
  void SetTopIndent(int value);
  int RightIndent() const { return rightIndent_; }
  void SetRightIndent(int value);
  int BottomIndent() const { return bottomIndent_; }
  void SetBottomIndent(int value);
  int LeftGutterWidth() const { return leftGutterWidth_; }
  void SetLeftGutterWidth(int value);
  int TopGutterHeight() const { return topGutterHeight_; }
  void SetTopGutterHeight(int value);
  TQuillNumAlignment NumAlignment() const { return numAlignment_; }
  void SetNumAlignment(TQuillNumAlignment value);
  bool PaintPageNumber() const { return paintPageNumber_; }
  void SetPaintPageNumber(bool value);

  void Assign(const TQuillPage& source);
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  // Forgets the cached screen position and tells the editor.
  void UpdatePage();
  // After a new paper: FromSize takes the named size's measures, else the
  // measures set make the size psOther.
  void UpdatePageSize(bool fromSize);
  TQuillEditorView* GetEdit() const;
  int Index() const;

  // Paper size in screen pixels (width, height), landscape swapped.
  TPoint GetRealPageSize() const;
  TRect GetRealPageRect() const;
  // From the page's first text position to the bottom of its last line.
  int GetRealPageHeight();
  // The lines that fit on the page from its first position; LastChar is
  // where the last one is cut.
  int LinesOnPage(int& lastChar);
  void InitPage();
  bool PageInitialized() const { return measured_; }
  TRect PageOuterRect(bool extend);
  int GetPageTop();
  int GetTopGutterHeight() const;
  int GetLeftGutterWidth() const;
  // The text rectangle of the page, moved by the scroll position when Scrolled.
  TRect GetPageRect(bool scrolled);
  TRect PageRect() { return GetPageRect(true); }

  // ---- measured state ----
  int Top = 0;
  int Height = 0;
  int FirstLine = 0;
  int FirstChar = 0;
  int LastLine = MaxInt;
  int LastChar = MaxInt;  // MaxInt: the page ends at the end of its last line

 private:
  friend class TQuillPages;
  // Margins and desk sizes are never below 0.
  void SetMeasure(int& field, int value);

  TQuillPages* collection_;
  int updateCount_ = 0;
  int pageWidth_ = 0;
  int pageHeight_ = 0;
  TQuillPageSize pageSize_ = TQuillPageSize::psLetter;
  TQuillPageOrientation orientation_ = TQuillPageOrientation::pgPortrait;
  int leftIndent_ = 24, topIndent_ = 24, rightIndent_ = 24, bottomIndent_ = 24;
  int leftGutterWidth_ = 64;
  int topGutterHeight_ = 24;
  TQuillNumAlignment numAlignment_ = TQuillNumAlignment::taLeftJustify;
  bool paintPageNumber_ = false;
  int screenTopLine_ = -1;
  int screenTop_ = 0;
  bool measured_ = false;
};

class TQuillPages {
 public:
  explicit TQuillPages(TQuillEditorView* editor = nullptr) : editor_(editor) {}
  TQuillPages(const TQuillPages&) = delete;
  TQuillPages& operator=(const TQuillPages&) = delete;

  TQuillEditorView* Editor() const { return editor_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TQuillPage& GetItem(int index) { return *items_.at(static_cast<size_t>(index)); }
  void SetItem(int index, const TQuillPage& page) { GetItem(index).Assign(page); }
  // As many pages as Source has (at least the first), each with its
  // settings; all are measured again.
  void Assign(const TQuillPages& source);
  int IndexOf(const TQuillPage* page) const;
  // A new last page with the first page's settings, measured when pages are used.
  TQuillPage& Add();
  void Clear();
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  void UpdatePages();
  void InvalidatePage(int index);

  // Pages from this index on are stale and measured again when reached.
  int MeasuredCount() const { return measured_; }
  void SetMeasuredCount(int count);
  void UpdateEndLine(int index);
  void CalcPageInternalSize(int index, bool full);
  void RemoveExtraPages();

  // Where a point lies relative to page Index: 1 before, -1 after, 0 on it.
  // ByText the point is (character, line), else a pixel (only y counts).
  int ComparePage(TPoint point, bool byText, int index);
  bool Find(TPoint point, bool byText, int& index, int count);
  // The page holding the point, measuring and adding pages as needed; the
  // last page for a point past the text; -1 for the very start.
  int GetPageIndexAt(TPoint point, bool byText);
  TQuillPage* GetPageAt(TPoint point, bool byText);
  // The measured page holding the point, measuring stale pages one by one
  // until one holds it; -1 when none does.
  int SearchInUpdatedPages(TPoint point, bool byText);

  // ---- scroll extents ----
  TQuillPage* GetLastPage();
  int GetMaxScrollHeight();
  int GetEstimatedHeight();
  int GetMaxScrollWidth(int maxScrollPos);

 private:
  bool TextEndsOn(const TQuillPage& page);
  bool HoldsNothingNew(int index);

  TQuillEditorView* editor_;
  std::vector<std::unique_ptr<TQuillPage>> items_;
  int updateCount_ = 0;
  int hint_ = 0;
  int measured_ = 0;
};

// ---- painting pages (the control's side) ----
// Pages First .. Last, then the desk or the editor colour below the last.
void PaintPages(TQuillEditorView& view, TCanvas& canvas, const TRect& rect, int first, int last, bool singlePage);
void PaintPage(TQuillEditorView& view, TCanvas& canvas, int index, const TRect& clip, bool singlePage);
// A dotted line where page Index ends, with page breaks shown.
void PaintPageBreak(TQuillEditorView& view, TCanvas& canvas, int index, int y);
void PaintPageNumber(TQuillEditorView& view, TCanvas& canvas, int index, const TRect& rect);

}  // namespace quill
