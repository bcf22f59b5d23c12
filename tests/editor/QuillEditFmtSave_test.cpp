// Formatted save of the plain editor: the text, or a stream selection,
// through the RTF exporter, read back by pandoc.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "QuillEdit_helpers.h"
#include "common/FailingDisk.h"
#include "QuillRtf_helpers.h"
#include "editor/QuillRichEdit.h"
#include "editor/QuillRtfWriter.h"
#include "editor/QuillSettings.h"

using namespace quill;

TEST(QuillEditFmtSave, WritesTheTextOrTheStreamSelection) {
  auto e = edittest::MakeEdit();
  edittest::SetLines(*e, {"first line", "second {line}", "third"});
  auto save = [&](bool selection) {
    std::ostringstream out;
    e->SaveToFmtStream(out, selection, RtfExporterClass());
    return out.str();
  };
  auto text = [](const std::string& rtf) {
    std::string s;
    for (const auto& para : rtftest::FlattenPandocJson(rtftest::RunPandoc({"-f", "rtf", "-t", "json"}, rtf))) {
      if (!s.empty()) s += '|';
      for (const auto& c : para) s += c.C;
    }
    return s;
  };
  const std::string whole = save(false);
  // Text on the editor's own background carries no background colour.
  EXPECT_EQ(whole.find("\\highlight"), std::string::npos);
  const struct {
    TRect selection;
    TQuillSelType type;
    const char* expected;
  } cases[] = {
      {{}, TQuillSelType::slNone, ""},
      {{3, 0, 8, 0}, TQuillSelType::slStream, "st li"},
      {{7, 1, 3, 2}, TQuillSelType::slStream, "{line}|thi"},
      {{1, 0, 3, 2}, TQuillSelType::slBlock, ""},
  };
  if (!rtftest::PandocAvailable()) GTEST_SKIP() << "pandoc is not installed";
  EXPECT_EQ(text(whole), "first line|second {line}|third");
  for (const auto& c : cases) {
    e->SetSelection(c.selection, c.type);
    EXPECT_EQ(text(save(true)), c.expected) << c.selection.Left << "," << c.selection.Top;
  }
  edittest::SetLines(*e, {});
  EXPECT_EQ(text(save(false)), "");
}

// What an exporter of a caller's own is given: the document's file name,
// the pages for a whole text, a line start for every line (only the first
// without a new paragraph) and the runs. A file that cannot be made leaves
// the document's file name as it was.
TEST(QuillEditFmtSave, DrivesAnyExporter) {
  std::string log;
  struct Recorder : TCustomQuillExporter {
    Recorder(std::ostream& s, const TQuillFont& f, std::string& log) : TCustomQuillExporter(s, f), log(log) {}
    std::string& log;
    void NewLine(const TCustomQuillParagraph*, bool newParagraph) override { log += newParagraph ? "|" : "["; }
    void WriteString(const std::string& t, const TCustomQuillEditorAttributes*, TCustomQuillEditorObject*) override {
      log += t + ";";
    }
    void Flush() override { log += FileName + (Pages != nullptr ? "+pages]" : "]"); }
  };
  const TQuillExporterClass recorder = [&](std::ostream& s, const TQuillFont& f) {
    return std::make_unique<Recorder>(s, f, log);
  };
  auto e = edittest::MakeEdit();
  edittest::SetLines(*e, {"ab", "", "cd"});
  e->GetEditSource().SetFileName("notes.txt");
  std::ostringstream out;
  e->SaveToFmtStream(out, false, recorder);
  e->SetSelection({1, 0, 1, 2}, TQuillSelType::slStream);
  e->SaveToFmtStream(out, true, recorder);
  EXPECT_EQ(log, "[ab;||cd;notes.txt+pages][b;||c;notes.txt]");
  EXPECT_THROW(e->SaveToFmtFile(platform::FileName("/nonexistent/dir/x.rtf"), RtfExporterClass()),
               platform::EStreamError);
  EXPECT_EQ(e->GetEditSource().FileName(), "notes.txt");
}

// Every save of the editor writes a new file whole and renames it over the
// old one: a folder that cannot be written, or a size limit as on a full
// disk, fails the save with an error and leaves the old file as it was.
TEST(QuillEditFmtSave, AFailedSaveKeepsTheOldFile) {
  namespace fs = std::filesystem;
  auto e = edittest::MakeEdit();
  edittest::SetLines(*e, {std::string(3000, 'x'), "second"});
  TQuillSearchSettings settings{TQuillSearchSettings::NoLoad{}};
  settings.TextToFind = std::string(3000, 'y');
  const fs::path dir = fs::temp_directory_path() / ("parlo-editor-save-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "old.txt";
  const std::string old = "the old file\r\n";
  auto read = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  struct Saver {
    const char* what;
    std::function<void()> save;
  };
  const Saver savers[] = {
      {"lines", [&] { e->Lines().SaveToFile(file.string()); }},
      {"document", [&] { e->GetEditSource().SaveToFile(file); }},
      {"rich text", [&] { e->SaveToFmtFile(file, RtfExporterClass()); }},
      {"settings", [&] { WritePersistentToFile(settings, file.string(), "SearchSettings"); }},
  };
  for (const bool sizeLimit : {false, true})
    for (const Saver& saver : savers) {
      SCOPED_TRACE(std::string(saver.what) + (sizeLimit ? " under a size limit" : " in a read-only folder"));
      std::ofstream(file, std::ios::binary) << old;
      const std::string answer = testing_support::WriteUnderFault(
          sizeLimit ? testing_support::DiskFault::SizeLimit : testing_support::DiskFault::ReadOnlyFolder, dir,
          [&]() -> std::string {
            try {
              saver.save();
              return "reported as saved";
            } catch (const platform::EStreamError&) {
              return "raised";
            }
          },
          1024);
      EXPECT_EQ(answer, "raised");
      EXPECT_EQ(read(), old);
      EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no file is left behind";
    }
  fs::remove_all(dir);
}
