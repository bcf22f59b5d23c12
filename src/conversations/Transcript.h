#pragma once

#include <functional>
#include <string>

#include "platform/Charset.h"
#include "platform/Font.h"

// What a conversation window needs of the rich text control that holds its
// transcript, and nothing more: the window appends at the end through the
// selection, saves the text, and offers copy and select-all. Keeping the
// conversations to these few calls lets the control be adapted to them by a
// thin wrapper, and lets tests stand a recording object in its place.
//
// Positions count characters of the whole text; an embedded picture is one
// character. Text is 8-bit (Windows-1252) with CR LF line breaks.

// The attributes that text inserted next at the caret takes.
class TTranscriptAttributes {
 public:
  virtual ~TTranscriptAttributes() = default;
  // Takes the font's name, size, colour and style (bold, italic, underline).
  virtual void Assign(const platform::TFont& font) = 0;
};

// The transcript's text as lines.
class TTranscriptLines {
 public:
  virtual ~TTranscriptLines() = default;
  // The whole text, every line ended by CR LF, each picture as what
  // `picture` makes of the name of its file (without the folder).
  virtual std::string Text(const std::function<std::string(const std::string& pictureName)>& picture) = 0;
};

class TTranscript {
 public:
  virtual ~TTranscript() = default;

  // The length of the whole text without the final line break: where the
  // caret goes to append.
  virtual int GetTextLen() = 0;
  // Caret to that position with an empty selection.
  virtual void SetSelStart(int position) = 0;
  // Selection of that length from the caret; 0 leaves none.
  virtual void SetSelLength(int length) = 0;
  // Replaces the selection (or inserts at the caret) with text in the current
  // selection attributes; the caret ends after it.
  virtual void SetSelText(const std::string& text) = 0;
  virtual TTranscriptAttributes& GetSelAttributes() = 0;
  // One embedded picture at the caret, loaded from the file (an 8-bit name as
  // the program builds it). A missing or unreadable file gives an empty
  // picture; nothing is raised. A file shown before is not read again.
  virtual void InsertImageFromFile(const std::string& fileName) = 0;
  // Bracket one message's appends: the control lays the text out once, at
  // the end, rather than after every run, and keeps to its bound then (the
  // oldest messages may go). Calls nest; each Begin needs its End.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  virtual void SetModified(bool modified) = 0;
  virtual bool GetModified() = 0;
  virtual TTranscriptLines& GetLines() = 0;
  // True while a non-empty selection exists.
  virtual bool CanCopy() = 0;
  virtual void CopyToClipboard() = 0;
  virtual void CutToClipboard() = 0;
  virtual void SelectAll() = 0;
};
