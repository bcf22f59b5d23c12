// Reads a generated 20 MB RTF document (written by our own writer: paragraphs of
// formatted runs, 8-bit text, links, tabs) in the same run: with our importer
// alone, with our importer filling a whole document (the line store with a style
// word per character into a de-duplicated attribute table, as the rich editor
// keeps its text), with pandoc, and with LibreOffice converting it to text.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

#include "editor/QuillRtfReader.h"
#include "editor/QuillRtfWriter.h"
#include "editor/QuillStrings.h"

using namespace quill;

namespace {

std::string MakeDocument(size_t targetBytes) {
  static const char* const words[] = {"hello", "world", "caf\xE9", "na\xEFve", "\x80" "5", "{brace}", "back\\slash",
                                      "message", "Parlo", "transcript", "the", "a", "of", "\x93quoted\x94"};
  static const char* const fonts[] = {"Verdana", "Arial", "Times New Roman"};
  static const TColor colors[] = {0x000000, 0x0000FF, 0x008000, 0x800000};
  std::mt19937 rng(5);
  TQuillFont font;
  font.Name = "Verdana";
  font.Color = 0;
  std::ostringstream out;
  TQuillRtfExporter exporter(out, font);
  TCustomQuillParagraph para;
  TQuillEditorAttributes attrs;
  size_t approx = 0;
  for (int line = 0; approx < targetBytes; ++line) {
    exporter.NewLine(&para, line > 0);
    const int runs = 1 + static_cast<int>(rng() % 6);
    for (int r = 0; r < runs; ++r) {
      std::string text;
      const int n = 1 + static_cast<int>(rng() % 12);
      for (int w = 0; w < n; ++w) {
        text += words[rng() % std::size(words)];
        text += rng() % 10 == 0 ? '\t' : ' ';
      }
      attrs.SetName(fonts[rng() % 3]);
      attrs.SetSize(8 + static_cast<int>(rng() % 4) * 2);
      attrs.SetColor(colors[rng() % 4]);
      attrs.SetStyle(static_cast<TFontStyles>(rng() % 4 == 0 ? rng() % 16 : 0));
      attrs.SetUrl(rng() % 30 == 0 ? "http://example.com/page?id=" + std::to_string(line) : "");
      exporter.WriteString(text, &attrs, nullptr);
      approx += (text.size() + 12) * 3 / 2;  // roughly what the run costs in RTF
    }
  }
  exporter.Flush();
  return out.str();
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The document a load builds: lines of text, and for every character the index
// of its attributes in a table that holds each distinct set once.
struct TDocument {
  TQuillStrings lines;
  using Key = std::tuple<std::string, int, int, TColor, TColor, int, std::string>;
  std::map<Key, uint16_t> index;
  size_t pictures = 0;

  uint16_t StyleOf(const TCustomQuillEditorAttributes& a) {
    Key key{a.Name(), a.Size(), static_cast<int>(a.Style()), a.Color(), a.BkColor(), static_cast<int>(a.ScriptStyle()),
            a.Url()};
    auto [it, added] = index.try_emplace(std::move(key), static_cast<uint16_t>(std::min<size_t>(index.size(), 65534)));
    return it->second;
  }

  void Load(const std::string& rtf) {
    lines.BeginUpdate();
    lines.Clear();
    lines.Add("");
    TQuillRtfImporter importer;
    importer.OnParseText = [&](TQuillObject*, const std::string& text, const TCustomQuillEditorAttributes* a,
                               const TCustomQuillParagraph*, TCustomQuillEditorObject* object) {
      const int last = lines.Count() - 1;
      if (object != nullptr) {
        ++pictures;
        return;
      }
      if (text == "\r\n") {
        lines.Add("");
        return;
      }
      if (text.empty()) return;
      const std::string line = lines.Get(last);
      lines.Put(last, line + text);
      if (a != nullptr) lines.PutData(last, static_cast<int>(line.size()), static_cast<int>(text.size()), StyleOf(*a));
    };
    importer.ParseString(rtf);
    lines.EndUpdate();
  }
};

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 20;
  const std::string rtf = MakeDocument(megabytes * 1024 * 1024);

  size_t pieces = 0, chars = 0;
  TQuillRtfImporter importer;
  importer.OnParseText = [&](TQuillObject*, const std::string& text, const TCustomQuillEditorAttributes*,
                             const TCustomQuillParagraph*, TCustomQuillEditorObject*) {
    ++pieces;
    chars += text.size();
  };
  // Medians of three runs each, the two kinds of run taking turns.
  std::vector<double> parseTimes, loadTimes;
  TDocument doc;
  for (int round = 0; round < 3; ++round) {
    pieces = chars = 0;
    auto t0 = std::chrono::steady_clock::now();
    importer.ParseString(rtf);
    parseTimes.push_back(Seconds(t0));
    t0 = std::chrono::steady_clock::now();
    doc.Load(rtf);
    loadTimes.push_back(Seconds(t0));
  }
  std::sort(parseTimes.begin(), parseTimes.end());
  std::sort(loadTimes.begin(), loadTimes.end());
  const double ours = parseTimes[1], load = loadTimes[1];
  const double mb = rtf.size() / 1048576.0;
  std::printf("document: %.1f MB of RTF, %zu pieces, %zu characters; %d lines, %zu distinct attribute sets\n", mb,
              pieces, chars, doc.lines.Count(), doc.index.size());
  std::printf("our importer alone:            %7.0f ms  %7.1f MB/s\n", ours * 1e3, mb / ours);
  std::printf("our importer into a document:  %7.0f ms  %7.1f MB/s\n", load * 1e3, mb / load);

  const auto dir = std::filesystem::temp_directory_path() / ("parlo-rtf-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "doc.rtf";
  std::ofstream(file, std::ios::binary) << rtf;
  std::ofstream(dir / "tiny.rtf", std::ios::binary) << "{\\rtf1 x}";
  auto timed = [](const std::string& command) {
    const auto t0 = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    return status == 0 ? Seconds(t0) : -1.0;
  };

  if (std::system("pandoc --version >/dev/null 2>&1") != 0) {
    std::printf("pandoc: not installed, no reference\n");
  } else {
    const double theirs = timed("pandoc -f rtf -t json '" + file.string() + "' > /dev/null");
    if (theirs > 0)
      std::printf("pandoc -f rtf -t json:         %7.0f ms  %7.2f MB/s   ours into a document is %.1fx faster\n",
                  theirs * 1e3, mb / theirs, theirs / load);
  }

  if (std::system("soffice --version >/dev/null 2>&1") != 0) {
    std::printf("LibreOffice: not installed, no reference\n");
  } else {
    // Its own profile; a first run only to create it. The time of a tiny file is
    // its start-up, shown so that the conversion itself can be read off.
    const std::string lo = "soffice -env:UserInstallation=file://" + (dir / "profile").string() +
                           " --headless --convert-to txt:Text --outdir '" + (dir / "out").string() + "' ";
    timed(lo + "'" + (dir / "tiny.rtf").string() + "' >/dev/null 2>&1");
    const double startup = timed(lo + "'" + (dir / "tiny.rtf").string() + "' >/dev/null 2>&1");
    const double theirs = timed(lo + "'" + file.string() + "' >/dev/null 2>&1");
    if (theirs > 0 && startup > 0)
      std::printf("LibreOffice to text:           %7.0f ms  (start-up %.0f ms)   ours into a document is %.1fx "
                  "faster (%.1fx without its start-up)\n",
                  theirs * 1e3, startup * 1e3, theirs / load, (theirs - startup) / load);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
