#pragma once

#include <functional>
#include <memory>
#include <string>

#include "conversations/CamProtocol.h"

struct TPictureJob;
struct TPictureLane;

// A broadcaster's pictures decoded away from the program's thread, so that
// the other links, windows and timers go on while they are made. A few
// threads decode for every link, spread over the processors; each link has
// at most one picture waiting, and the links take turns by what their
// pictures have cost so far: a link sending dear pictures (each may cost
// only so much, cam::DecodeReceivedPicture) waits behind the others' cheap
// ones and slows only itself. The threads touch nothing but the bytes they
// are given and the images they make.
//
// One per link. `done` runs later on the program's thread, inside the event
// loop's guard, unless the picture was withdrawn first (by another picture,
// Withdraw or the end of the object); a picture withdrawn before its turn
// is not decoded at all.
class TPictureDecoding {
 public:
  using TDone = std::function<void(const cam::TReceivedPicture& picture)>;

  TPictureDecoding();
  ~TPictureDecoding();
  TPictureDecoding(const TPictureDecoding&) = delete;
  TPictureDecoding& operator=(const TPictureDecoding&) = delete;

  // Puts `jpeg` in the link's place, withdrawing any picture still there.
  void Decode(std::string jpeg, TDone done);
  void Withdraw();
  // A picture is on its way and its `done` has not run.
  bool Pending() const;

 private:
  std::shared_ptr<TPictureLane> lane_;
  std::shared_ptr<TPictureJob> job_;
};
