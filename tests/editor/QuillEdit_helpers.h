#pragma once

// Editor controls for the control's tests: shown on the headless screen at
// a fixed size in a fixed-pitch font every test machine has (DejaVu Sans
// Mono, from the fonts package the scripts install), without border, gutter
// or scroll bars unless a test turns them on, so the client area is the
// widget and text starts at x 0.

#include <memory>
#include <string>
#include <vector>

#include "editor/QuillEdit.h"

namespace edittest {

using namespace quill;

std::unique_ptr<TQuillEdit> MakeEdit(int width = 400, int height = 200);
// The same set-up for an editor made by the test.
void Prepare(TCustomQuillEdit& edit, int width, int height);
// The document's lines, as a load would set them (one outside change).
void SetLines(TCustomQuillEdit& edit, const std::vector<std::string>& lines);
std::vector<std::string> LinesOf(TCustomQuillEdit& edit);
int CharWidth(TCustomQuillEdit& edit);
int LineHeight(TCustomQuillEdit& edit);
// Lets the event loop deliver what is pending (paints, queued updates).
void Settle();

}  // namespace edittest
