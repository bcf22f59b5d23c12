#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "core/session/ErrorLog.h"
#include "core/session/PeerBounds.h"

// Requests from other programs that wait on the user (a file offer, a room
// invitation, a chat that opened by itself) each hold a window, often a
// connection too, and peers can send them far faster than anyone answers:
// unchecked, they fill the screen, the memory and the descriptors. Past
// kUnansweredPerAddress still unanswered from one address, or
// kUnansweredInAll from all (PeerBounds.h), the next is refused at once, as
// a user would refuse it.
//
// A window whose request's link has closed (its caller or sender gone)
// stays for the user, but keeps its place only until a newcomer needs it:
// then the oldest of those counting toward the bound reached gives way, so
// that callers who ask and hang up at once cannot shut out the rest.

// How a window stands toward the bounds.
enum class TUnanswered {
  No,        // answered, or no request's window: not counted
  Held,      // counted, and keeps its place until the user answers
  MayGiveWay  // counted; its link has closed, a newcomer may take its place
};

// Makes room in `windows` for one more unanswered request from `address`:
// null when there is room, perhaps once the oldest window that may give way
// has gone (logged as `gaveWay`); else why there is none.
// `unanswered(window)` tells how a window stands, `addressOf(window)` where
// its request came from. Windows already closed (freed once events run) no
// longer count.
template <class Window, class Unanswered, class AddressOf>
const char* MakeRoomForUnanswered(const std::vector<QPointer<Window>>& windows, const std::string& address,
                                  Unanswered unanswered, AddressOf addressOf, const char* gaveWay) {
  int inAll = 0, fromAddress = 0;
  Window *oldest = nullptr, *oldestFromAddress = nullptr;
  for (const QPointer<Window>& w : windows) {
    if (w.isNull() || (w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide))) continue;
    const TUnanswered state = unanswered(*w);
    if (state == TUnanswered::No) continue;
    const bool sameAddress = addressOf(*w) == address;
    ++inAll;
    if (sameAddress) ++fromAddress;
    if (state != TUnanswered::MayGiveWay) continue;
    if (oldest == nullptr) oldest = w.data();
    if (sameAddress && oldestFromAddress == nullptr) oldestFromAddress = w.data();
  }
  // The address's own bound first: a window given way there frees a place in all too.
  Window* gives = nullptr;
  if (fromAddress >= peerbounds::kUnansweredPerAddress) {
    if (oldestFromAddress == nullptr) return "too many from this address wait for an answer";
    gives = oldestFromAddress;
  } else if (inAll >= peerbounds::kUnansweredInAll) {
    if (oldest == nullptr) return "too many wait for an answer";
    gives = oldest;
  }
  if (gives != nullptr) {
    LogError(addressOf(*gives), "", gaveWay);
    // Not closed as the user closes it: nothing is asked or saved for a
    // window nobody here took up. Freed once the events under way are over.
    gives->hide();
    gives->deleteLater();
  }
  return nullptr;
}
