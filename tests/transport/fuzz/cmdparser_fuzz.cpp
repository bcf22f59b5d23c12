// Received bytes through the reader's steps and the parser, plus the round trip a
// sender and a receiver make of escaped text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ErrorSink.h"
#include "transport/CmdParser.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (platform::SetErrorHandler([](const std::string&, const std::string&, const std::string&) {}), true);
  (void)quiet;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  const std::string line = TCmdParser::CleanLine(bytes);
  const int code = TCmdParser::ExtractCommand(line);
  const std::string parameters = TCmdParser::ExtractParameters(line);
  const std::string text = TCmdParser::ExtractCommandText(line);
  Check(text.size() <= line.size());
  Check(parameters.size() <= 2 * line.size());
  const TFields fields = TFields::Parameters(parameters);
  for (int i = -1; i <= fields.Count(); ++i) (void)fields.Int(i, code);
  const TFields record = TFields::Record(text);
  Check(record[record.Count()].empty());

  // Free text without "$", "<", ">" or zero bytes survives being sent and received.
  const size_t half = size / 2;
  const std::string a = bytes.substr(0, half), b = bytes.substr(half);
  if (a.find_first_of(std::string("$<>\0", 4)) == std::string::npos &&
      b.find_first_of(std::string("$<>\0", 4)) == std::string::npos) {
    Check(TCmdParser::UnescapeText(TCmdParser::EscapeText(b)) == b);
    const std::string received = TCmdParser::CleanLine(CommandFrame(1006, TCmdParser::EscapeText(a), TCmdParser::EscapeText(b)));
    Check(TCmdParser::ExtractCommand(received) == 1006);
    Check(TCmdParser::UnescapeText(TCmdParser::ExtractCommandText(received)) == b);
    const std::string params = TCmdParser::ExtractParameters(received);
    Check(params.empty() || TCmdParser::UnescapeText(params) == a);
  }
  return 0;
}
