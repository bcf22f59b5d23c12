#pragma once

#include <QPointer>
#include <algorithm>
#include <vector>

// Requests from other programs that wait on the user (a file offer, a room
// invitation, a chat that opened by itself) each hold a window, often a
// connection too, and a peer can send them far faster than anyone answers:
// unchecked, one caller fills the screen, the memory and the descriptors. No
// one sends more than a few before the first is answered, so past this many
// from one address still unanswered the next is refused at once, as a user
// would refuse it.
inline constexpr int kMaxUnansweredPerAddress = 8;

// Whether `windows` already hold as many unanswered requests from one address
// as it may have; `unanswered(window)` tells whether a window is one of them.
template <class Window, class Unanswered>
bool UnansweredCapReached(const std::vector<QPointer<Window>>& windows, Unanswered unanswered) {
  const auto count = std::count_if(windows.begin(), windows.end(),
                                   [&](const QPointer<Window>& w) { return !w.isNull() && unanswered(*w); });
  return count >= kMaxUnansweredPerAddress;
}
