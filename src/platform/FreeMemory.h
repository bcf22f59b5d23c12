#pragma once

#include <cstddef>

// Giving freed memory back to the system. The allocator keeps what is freed
// for later use, and pages freed among blocks still in use (a send queue is
// thousands of small chunks, laid between everything else allocated
// meanwhile) it cannot give back by itself: after a stranger has made the
// program hold a few hundred megabytes and then let go of them, the program
// would stay that size for good.
namespace platform {

// Returns every whole free page to the system now.
void GiveBackFreeMemory();
// The same once the current burst of frees is over: at most once a second,
// from the event loop, however often it is asked.
void GiveBackFreeMemorySoon();
// Counts memory let go of in small blocks; once it adds up to a few
// megabytes, gives free memory back soon.
void NoteFreedMemory(std::size_t bytes);

}  // namespace platform
