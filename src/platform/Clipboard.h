#pragma once

// The desktop's clipboard as the program uses it: 8-bit text, and raw bytes
// in named formats beside it. Text travels with the desktop's line breaks
// (LF); the program's CR LF is turned into them on the way out, and any line
// break reads back as it came. A format name other programs know by other
// names ("Rich Text Format") is offered and read under all of them.

#include <string>

namespace platform {

bool ClipboardHasText();
std::string ClipboardText();
// Empties the clipboard, then puts Text on it.
void SetClipboardText(const std::string& text);
void ClearClipboard();
// Adds bytes in a format to what the program last put on the clipboard (or
// starts afresh when another program owns it). False when it cannot.
bool AddClipboardFormat(const std::string& format, const std::string& bytes);
// The bytes of a format; false (and Bytes empty) when the clipboard has none.
bool ReadClipboardFormat(const std::string& format, std::string& bytes);
bool ClipboardHasFormat(const std::string& format);
// Whether what the clipboard holds was put there by this program.
bool ClipboardOwned();

// The registered name of RTF on the clipboard.
inline constexpr const char* kRichTextFormat = "Rich Text Format";

}  // namespace platform
