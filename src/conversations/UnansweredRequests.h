#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "core/session/PeerBounds.h"

// Requests from other programs that wait on the user (a file offer, a room
// invitation, a chat that opened by itself) each hold a window, often a
// connection too, and peers can send them far faster than anyone answers:
// unchecked, they fill the screen, the memory and the descriptors. Past
// kUnansweredPerAddress still unanswered from one address, or
// kUnansweredInAll from all (PeerBounds.h), the next is refused at once, as
// a user would refuse it.
//
// Why `windows` cannot take one more unanswered request from `address`, or
// null when they can: `unanswered(window)` tells whether a window is one of
// them, `addressOf(window)` where its request came from.
template <class Window, class Unanswered, class AddressOf>
const char* UnansweredCapReached(const std::vector<QPointer<Window>>& windows, const std::string& address,
                                 Unanswered unanswered, AddressOf addressOf) {
  int inAll = 0, fromAddress = 0;
  for (const QPointer<Window>& w : windows) {
    if (w.isNull() || !unanswered(*w)) continue;
    ++inAll;
    if (addressOf(*w) == address) ++fromAddress;
  }
  if (fromAddress >= peerbounds::kUnansweredPerAddress) return "too many from this address wait for an answer";
  if (inAll >= peerbounds::kUnansweredInAll) return "too many wait for an answer";
  return nullptr;
}
