// Formatted save of the plain editor: the text, or a stream selection,
// through the RTF exporter, read back by pandoc.

#include <gtest/gtest.h>

#include <sstream>

#include "QuillEdit_helpers.h"
#include "QuillRtf_helpers.h"
#include "editor/QuillRichEdit.h"
#include "editor/QuillRtfWriter.h"

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
