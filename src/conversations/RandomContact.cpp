#include "conversations/RandomContact.h"

#include <algorithm>

#include "core/session/DirectoryLink.h"
#include "core/session/Session.h"
#include "platform/Strings.h"
#include "transport/CmdParser.h"

TRandomContact::TRandomContact(TSession& session) : session_(session) {
  found_ = session.Link().ShowRandomContact.Connect([this](const std::string& record) { ShowFoundContact(record); });
  none_ = session.Link().ShowNoRandomContact.Connect([this] { ShowNoUserFound(); });
}

void TRandomContact::Notify() {
  if (Changed) Changed();
}

void TRandomContact::Search() {
  buttons_.Animating = true;
  buttons_.Message = buttons_.Chat = buttons_.Profile = buttons_.Search = false;
  if (!session_.RequestRandomContact()) {
    ResetSearch();
    return;
  }
  Notify();
}

void TRandomContact::CancelSearch() {
  buttons_.Cancel = false;
  buttons_.Search = true;
  Notify();
}

void TRandomContact::ResetSearch() {
  buttons_ = TRandomButtons{};
  Notify();
}

void TRandomContact::ShowFoundContact(const std::string& record) {
  const bool blank = std::all_of(record.begin(), record.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 127;
  });
  if (blank) {
    ShowNoUserFound();
    return;
  }
  // Split at the separators only: a stray line break inside an item never
  // moves the items after it.
  const TFields fields = TFields::Record(record);
  for (int i = 0; i < kItems; ++i) items_[static_cast<size_t>(i)] = fields[i];
  items_[12] = TCmdParser::UnescapeCommas(items_[12]);
  items_[13] = TCmdParser::UnescapeText(items_[13]);
  ShowContact();
}

void TRandomContact::ShowNoUserFound() {
  buttons_.Animating = false;
  items_ = {};
  items_[1] = "No User found...";
  items_[7] = "Try again later";
  ShowContact();
}

void TRandomContact::ShowContact() {
  const bool found = !items_[0].empty();
  buttons_.Message = buttons_.Chat = buttons_.Profile = found;
  buttons_.Cancel = !found;
  buttons_.Search = true;
  Notify();
}

TContact TRandomContact::Contact() const {
  TContact c;
  c.UserID = Item(0);
  c.UserName = Item(1);
  c.Online = Item(2);
  const int mode = platform::StrToIntDef(Item(3), -1);
  if (mode >= 0 && mode <= 4) {
    c.Image = mode;
    c.Status = StatusText[mode];
  }
  c.ListenIP = Item(4);
  c.ListenPort = Item(5);
  return c;
}

void TRandomContact::StartChat() { session_.OpenPrivateChat(Item(1), Item(5), Item(4)); }

void TRandomContact::SendMessage() { session_.RunContactCommand(TContactCommand::Message, Contact()); }

void TRandomContact::ViewProfile() { session_.RunContactCommand(TContactCommand::Profile, Contact()); }
