#pragma once

#include <utility>

namespace platform {

// Events are std::function members that the owner may leave unset. Raising
// one goes through Fire so an unassigned event is simply skipped.
template <class F, class... A>
void Fire(const F& event, A&&... args) {
  if (event) event(std::forward<A>(args)...);
}

}  // namespace platform
