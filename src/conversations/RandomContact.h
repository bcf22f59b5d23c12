#pragma once

#include <array>
#include <functional>
#include <string>

#include "core/session/Contacts.h"
#include "platform/Signal.h"

class TSession;

// What the random-contact window offers at a moment.
struct TRandomButtons {
  bool Search = true, Cancel = false, Chat = false, Message = false, Profile = false;
  bool Animating = false;
  bool operator==(const TRandomButtons&) const = default;
};

// The random-contact window's logic: it asks the directory server for one
// user chosen at random (9019) and holds what came back, a found user (9018,
// a RandomContactRecord of 14 items) or none (9020), until the next search.
// The contact's commands go through the session like any list's.
class TRandomContact {
 public:
  static constexpr int kItems = 14;

  explicit TRandomContact(TSession& session);

  // The window redraws.
  std::function<void()> Changed;

  // Find Contact; while not connected nothing is sent and the search ends at once.
  void Search();
  // Cancel: the search may still answer, and what it finds is shown.
  void CancelSearch();
  void ResetSearch();
  void ShowFoundContact(const std::string& record);
  void ShowNoUserFound();

  void StartChat();
  void SendMessage();
  void ViewProfile();

  // Item n of the record as shown: hobbies with their commas back, the
  // description with its line breaks and commas back.
  const std::string& Item(int n) const { return items_[static_cast<size_t>(n)]; }
  std::string NameText() const { return Item(7) + " " + Item(8); }
  const TRandomButtons& Buttons() const { return buttons_; }
  // The found user as the contact commands take it.
  TContact Contact() const;

 private:
  void ShowContact();
  void Notify();

  TSession& session_;
  std::array<std::string, kItems> items_;
  TRandomButtons buttons_;
  platform::TConnection found_, none_;
};
