#include "conversations/ChatProfile.h"

#include "transport/CmdParser.h"

TChatProfile TChatProfile::FromRecord(const std::string& record) {
  const TFields f(record, RecordSeparator);
  TChatProfile p;
  std::string* const text[] = {&p.UserID,  &p.CurrentGroup, &p.ListenPort, &p.UserName,  &p.FirstName,
                               &p.LastName, &p.Age,         &p.Dob,        &p.Gender,    &p.Country,
                               &p.Hobbies, &p.Description,  &p.HomeUrl,    &p.BizUrl,    &p.HomeEmail,
                               &p.BizEmail, &p.Greeting,    &p.BusyMsg,    &p.Banner,    &p.WebCam};
  for (int i = 0; i < static_cast<int>(std::size(text)); ++i) *text[i] = f[i];
  p.StatusMode = f.Int(20, 0);
  return p;
}
