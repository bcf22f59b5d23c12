#pragma once

// Word bounds, word lookup and bracket matching over a document's lines, as
// double-click selection, word commands and bracket highlighting use them. The
// lazy parsing that fills the style words lives in the document itself; these
// only read its text and delimiter set.

#include <string>

#include "editor/QuillEditSource.h"

namespace quill {

enum class TQuillWordSelType { wsWord, wsWordAndSpace, wsToNextWord };

// Character S[Index] (1-based) is one of the document's delimiters; false outside S.
bool IsDelimiter(const TCustomQuillEditSource& doc, const std::string& s, int index);

// The word at P (0-based column and line) as 1-based inclusive Start and End;
// both 0 when there is none. An embedded-object character is a word of its own.
void GetWord(const TCustomQuillEditSource& doc, TPoint p, int& start, int& end, TQuillWordSelType selType);

// The word at P; with Check, "" when P is outside the line or on a delimiter.
std::string GetTextAt(const TCustomQuillEditSource& doc, TPoint p, bool check);

// The 1-based position of Ch in line P.Y searching from the 1-based column P.X
// (inclusive) forward or backward; 0 when there is none.
int FindBracket(const TCustomQuillEditSource& doc, char ch, TPoint p, bool forward);

// From the bracket Ch at P, the matching closing (opening) bracket, which may lie on
// a later (earlier) line; on success P is moved onto it. Brackets inside strings
// and comments count like any others.
bool FindCloseBracket(const TCustomQuillEditSource& doc, char ch, TPoint& p);
bool FindOpenBracket(const TCustomQuillEditSource& doc, char ch, TPoint& p);

}  // namespace quill
