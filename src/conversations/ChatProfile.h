#pragma once

#include <string>

// The fields of a profile record as a chat reads them: 21 fields joined by
// "||", the free-text ones (Description, Greeting, BusyMsg, Banner) still
// escaped. A field the sender left out reads as empty and a status that is no
// number as 0, so a short or damaged record never shifts what is read.
struct TChatProfile {
  std::string UserID, CurrentGroup, ListenPort, UserName, FirstName, LastName, Age, Dob, Gender, Country, Hobbies,
      Description, HomeUrl, BizUrl, HomeEmail, BizEmail, Greeting, BusyMsg, Banner, WebCam;
  int StatusMode = 0;

  static TChatProfile FromRecord(const std::string& record);
};
