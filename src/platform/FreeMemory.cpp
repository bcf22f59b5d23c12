#include "platform/FreeMemory.h"

#include <QCoreApplication>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

namespace {

// Long enough to gather the frees of a crowd that goes at once into one pass,
// which costs a walk over the allocator's free lists.
constexpr int kGatherMs = 1000;
// Below this a pass would give back little, and the allocator itself returns
// what is freed at the top of the heap.
constexpr std::size_t kWorthGivingBack = std::size_t{4} << 20;
bool pending = false;
std::size_t freed = 0;

}  // namespace

void GiveBackFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void GiveBackFreeMemorySoon() {
  if (pending) return;
  if (QCoreApplication::instance() == nullptr) {
    GiveBackFreeMemory();
    return;
  }
  pending = true;
  QTimer::singleShot(kGatherMs, QCoreApplication::instance(), [] {
    pending = false;
    GiveBackFreeMemory();
  });
}

void NoteFreedMemory(std::size_t bytes) {
  freed += bytes;
  if (freed < kWorthGivingBack) return;
  freed = 0;
  GiveBackFreeMemorySoon();
}

}  // namespace platform
