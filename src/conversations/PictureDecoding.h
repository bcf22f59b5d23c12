#pragma once

#include <functional>
#include <memory>
#include <string>

#include "conversations/CamProtocol.h"

struct TPictureJob;

// A broadcaster's picture decoded away from the program's thread, so that the
// other links, windows and timers go on while it is made. One thread decodes
// for every link, one picture at a time, in the order they came: pictures
// never take more than one core, and as each may cost only so much
// (cam::DecodeReceivedPicture), a dear one holds up the others' by no more
// than that. The thread touches nothing but the bytes it is given and the
// image it makes; each link has at most one picture on its way.
//
// A handle: `done` runs later on the program's thread, inside the event
// loop's guard, unless the handle was dropped or replaced first; a picture
// withdrawn before its turn is not decoded at all.
class TPictureDecoding {
 public:
  using TDone = std::function<void(const cam::TReceivedPicture& picture)>;

  TPictureDecoding() = default;
  TPictureDecoding(std::string jpeg, TDone done);
  TPictureDecoding(TPictureDecoding&& other) noexcept = default;
  TPictureDecoding& operator=(TPictureDecoding&& other) noexcept;
  ~TPictureDecoding() { Withdraw(); }

  // The picture is on its way and `done` has not run.
  bool Pending() const;

 private:
  void Withdraw();
  std::shared_ptr<TPictureJob> job_;
};
