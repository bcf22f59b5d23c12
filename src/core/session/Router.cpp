#include "core/session/Router.h"

namespace {

template <class Map, class Key, class Handler>
void Set(Map& map, const Key& key, Handler handler) {
  if (handler) map[key] = std::move(handler);
  else map.erase(key);
}

}  // namespace

void TRouter::SetPeerHandler(int code, TPeerHandler handler) { Set(peer_, code, std::move(handler)); }

void TRouter::SetContactHandler(TContactCommand command, TContactHandler handler) {
  Set(contact_, command, std::move(handler));
}

void TRouter::SetWindowHandler(TWindowCommand command, TWindowHandler handler) {
  Set(window_, command, std::move(handler));
}

// Each handler runs from a copy: it may register another in its own place.
bool TRouter::RoutePeerRequest(TPeerRequest& request) const {
  const auto it = peer_.find(request.Code());
  if (it == peer_.end()) return false;
  const TPeerHandler handler = it->second;
  handler(request);
  return true;
}

bool TRouter::RunContactCommand(const TContactCall& call) const {
  const auto it = contact_.find(call.Command);
  if (it == contact_.end()) return false;
  const TContactHandler handler = it->second;
  handler(call);
  return true;
}

bool TRouter::RunWindowCommand(TWindowCommand command) const {
  const auto it = window_.find(command);
  if (it == window_.end()) return false;
  const TWindowHandler handler = it->second;
  handler();
  return true;
}
