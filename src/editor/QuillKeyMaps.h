#pragma once

// The five key maps: each fills an editor's key list from empty with the
// bindings of one well-known keyboard layout of editing commands. The
// control's KeyMapping property picks one; kmOther leaves the list empty for
// bindings registered one by one.

#include <cstdint>

namespace quill {

class TCustomQuillEdit;

enum class TQuillKeyMapping : uint8_t { kmDefault, kmClassic, kmBrief, kmEpsilon, kmVisualStudio, kmOther };

void InitializeDefaultKeys(TCustomQuillEdit& edit);
void InitializeClassicKeys(TCustomQuillEdit& edit);
void InitializeBriefKeys(TCustomQuillEdit& edit);
void InitializeEpsilonKeys(TCustomQuillEdit& edit);
void InitializeVStudioKeys(TCustomQuillEdit& edit);

}  // namespace quill
