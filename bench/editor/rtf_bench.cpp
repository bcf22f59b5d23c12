// Reads a generated 20 MB RTF document (written by our own writer: paragraphs of
// formatted runs, 8-bit text, links, tabs) with our importer and with pandoc in
// the same run, and prints both times and their ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

#include "editor/QuillRtfReader.h"
#include "editor/QuillRtfWriter.h"

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
  auto t0 = std::chrono::steady_clock::now();
  importer.ParseString(rtf);
  const double ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("document: %.1f MB of RTF, %zu pieces, %zu characters\n", rtf.size() / 1048576.0, pieces, chars);
  std::printf("our importer: %.0f ms, %.1f MB/s\n", ours * 1e3, rtf.size() / ours / 1048576.0);

  if (std::system("pandoc --version >/dev/null 2>&1") != 0) {
    std::printf("pandoc: not installed, no reference\n");
    return 0;
  }
  const auto file = std::filesystem::temp_directory_path() / ("parlo-rtf-bench-" + std::to_string(::getpid()) + ".rtf");
  {
    std::ofstream f(file, std::ios::binary);
    f << rtf;
  }
  const std::string command = "pandoc -f rtf -t json '" + file.string() + "' > /dev/null";
  t0 = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double theirs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::filesystem::remove(file);
  if (status != 0) {
    std::printf("pandoc failed (status %d)\n", status);
    return 1;
  }
  std::printf("pandoc -f rtf -t json: %.0f ms, %.2f MB/s\n", theirs * 1e3, rtf.size() / theirs / 1048576.0);
  std::printf("ratio: ours is %.1fx faster (goal: at least 10x)\n", theirs / ours);
  return 0;
}
