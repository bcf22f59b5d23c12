#pragma once

#include <string>
#include <vector>

#include "transport/CommandCodes.h"

// Joins the fields of one record ("a{$}b{$}c").
inline constexpr const char* FieldSeparator = "{$}";
// Joins whole records inside one parameter, and the fields of a profile record.
inline constexpr const char* RecordSeparator = "||";
// What a sender puts on the wire when building or sending a frame fails.
inline constexpr const char* ErrorCommand = "  9999<>\r\n";
inline constexpr int ErrorCommandCode = cmd::Error;

// One command frame: two blanks, the decimal code, "<", the parameters, ">", the
// text, CR LF. Nothing is escaped here: callers escape free text with EscapeText
// and other fields with EscapeCommas beforehand.
std::string CommandFrame(int code, const std::string& parameters, const std::string& text);

// The command parser every link shares. It is stateless; its operations never
// raise. The three Extract operations log what they cannot read (with empty
// address and port) and return 9999 or the empty text.
class TCmdParser {
 public:
  // The text without one trailing CR LF; a lone CR or LF stays.
  static std::string RemoveEOL(const std::string& text);
  // The code in the first four characters; 9999 when they are no number.
  static int ExtractCommand(const std::string& line);
  // What stands between the first "<" and the first ">", each "," turned into a
  // CR LF so that it loads as one parameter per line.
  static std::string ExtractParameters(const std::string& line);
  // What follows the first ">"; the whole line when there is none.
  static std::string ExtractCommandText(const std::string& line);

  // CR as "$r", LF as "$n", "," as "$c", in that order; "$" itself stays as it is,
  // so a "$c" typed by the user comes back as ",".
  static std::string EscapeText(const std::string& text);
  static std::string UnescapeText(const std::string& text);
  static std::string EscapeCommas(const std::string& text);
  static std::string UnescapeCommas(const std::string& text);

  // A received buffer as a reader parses it: up to its first zero byte, one CR LF
  // off the end, then every leading character up to the blank.
  static std::string CleanLine(const std::string& received);
};

extern TCmdParser* CmdParser;

// The fields of a record, read by position. A field the sender left out reads as
// empty and a number that does not parse as the caller's default, so one short or
// damaged record never shifts or breaks the fields a receiver reads.
class TFields {
 public:
  TFields() = default;
  // Splits at every separator. The count follows the string-list rule the
  // receivers use: an empty text has no fields and a separator at the very end
  // adds no empty last field.
  TFields(const std::string& text, const std::string& separator);
  // Fields of one record joined by FieldSeparator.
  static TFields Record(const std::string& text) { return TFields(text, FieldSeparator); }
  // Records joined by RecordSeparator (each one then split with Record).
  static TFields Records(const std::string& text) { return TFields(text, RecordSeparator); }
  // The lines of ExtractParameters' result, one parameter each.
  static TFields Parameters(const std::string& parameters);

  int Count() const { return static_cast<int>(fields_.size()); }
  const std::string& operator[](int index) const;
  int Int(int index, int def) const;
  const std::vector<std::string>& Items() const { return fields_; }

 private:
  std::vector<std::string> fields_;
};
