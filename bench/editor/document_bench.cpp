// Builds a document of 1,000,000 lines and applies 100,000 random edits to it as an
// editor would (typing words, deleting, breaking and joining lines, moving the
// caret), then prints the time per edit and the heap bytes held per byte of text.
// For scale, the same edits run on a plain vector of strings in the same run.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "editor/QuillEditSource.h"

namespace {

constexpr int kLines = 1000000;
constexpr int kEdits = 100000;

size_t HeapInUse() { return mallinfo2().uordblks; }

std::vector<std::string> MakeLines() {
  static const char* words[] = {"hello", "there", "how", "are", "you", "today", "see", "http://example.org/x",
                                "the", "file", "arrived", ":-)", "ok", "Sure,", "why", "not"};
  std::mt19937 rng(5);
  std::vector<std::string> lines(kLines);
  for (auto& line : lines) {
    int n = 1 + static_cast<int>(rng() % 10);
    for (int i = 0; i < n; ++i) {
      if (i) line += ' ';
      line += words[rng() % std::size(words)];
    }
  }
  return lines;
}

struct Edit {
  int kind;
  int x, y;
  std::string text;
};

std::vector<Edit> MakeEdits() {
  std::mt19937 rng(6);
  std::vector<Edit> edits(kEdits);
  for (auto& e : edits) {
    unsigned r = rng() % 100;
    e.kind = r < 50 ? 0 : r < 75 ? 1 : r < 85 ? 2 : r < 95 ? 3 : 4;  // type, delete, break, join, move
    e.y = static_cast<int>(rng() % (kLines - 1));
    e.x = static_cast<int>(rng() % 40);
    e.text = std::string(1 + rng() % 6, static_cast<char>('a' + rng() % 26));
  }
  return edits;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  const std::vector<std::string> lines = MakeLines();
  const std::vector<Edit> edits = MakeEdits();
  size_t textBytes = 0;
  for (const auto& l : lines) textBytes += l.size();

  // Reference: the lines as a vector of strings, edited the same way.
  size_t heap0 = HeapInUse();
  std::vector<std::string> plain = lines;
  size_t plainHeap = HeapInUse() - heap0;
  auto t0 = std::chrono::steady_clock::now();
  for (const auto& e : edits) {
    if (e.y >= static_cast<int>(plain.size())) continue;
    std::string& line = plain[static_cast<size_t>(e.y)];
    size_t x = std::min(static_cast<size_t>(e.x), line.size());
    switch (e.kind) {
      case 0: line.insert(x, e.text); break;
      case 1: line.erase(x, 3); break;
      case 2: {
        std::string rest = line.substr(x);
        line.resize(x);
        plain.insert(plain.begin() + e.y + 1, rest);
        break;
      }
      case 3:
        if (e.y + 1 < static_cast<int>(plain.size())) {
          line += plain[static_cast<size_t>(e.y) + 1];
          plain.erase(plain.begin() + e.y + 1);
        }
        break;
      default: break;
    }
  }
  double plainTime = Seconds(t0);

  // The document, filled through its line list as a load does.
  heap0 = HeapInUse();
  auto* doc = new quill::TQuillEditSource;
  {
    std::string text;
    text.reserve(textBytes + 2 * lines.size());
    for (const auto& l : lines) (text += l) += "\r\n";
    auto t1 = std::chrono::steady_clock::now();
    doc->Strings().SetText(text);
    std::printf("load %d lines: %.2f s\n", kLines, Seconds(t1));
  }
  size_t docHeap = HeapInUse() - heap0;
  t0 = std::chrono::steady_clock::now();
  for (const auto& e : edits) {
    doc->JumpTo(e.x, e.y);
    switch (e.kind) {
      case 0:
        doc->BeginSourceUpdate(quill::oprInsert);
        doc->InsertString(e.text);
        doc->Navigate(static_cast<int>(e.text.size()), 0);
        doc->EndSourceUpdate();
        break;
      case 1: doc->DeleteString(3); break;
      case 2: doc->BreakString(); break;
      case 3:
        doc->JumpTo(static_cast<int>(doc->Strings().GetStr(e.y).size()), e.y);
        doc->JoinStrings();
        break;
      default: break;
    }
  }
  double docTime = Seconds(t0);
  size_t docHeapAfter = HeapInUse() - heap0;
  size_t undoRecords = static_cast<size_t>(doc->UndoList().Count());

  std::printf("%-28s %14s %14s %8s\n", "", "document", "vector<string>", "ratio");
  std::printf("%-28s %14.2f %14.2f %8.1f\n", "time per edit (us)", docTime / kEdits * 1e6, plainTime / kEdits * 1e6,
              docTime / plainTime);
  std::printf("%-28s %14.2f %14.2f %8.1f\n", "heap bytes per text byte", double(docHeap) / double(textBytes),
              double(plainHeap) / double(textBytes), double(docHeap) / double(plainHeap));
  std::printf("%-28s %14.2f %14s\n", "after edits, with undo", double(docHeapAfter) / double(textBytes), "");
  std::printf("text %zu bytes in %d lines; %zu undo records\n", textBytes, kLines, undoRecords);
  delete doc;
  return 0;
}
