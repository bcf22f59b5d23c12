#pragma once

#include <string>

// How the peer listener answers a private-chat request: what it needs to know
// of the own state, and what it does once the user has decided.

// What the listener needs to know when a private-chat request arrives.
struct TPeerAnswerSettings {
  int StatusMode = 0;
  std::string BusyMessage;  // the current profile's busy message, escaped
  std::string AwayText, UnavText;
  bool AutoPChat = false, AutoPChatOnly = false;
};

// The user's decisions on a request.
enum TChatDecision { DecisionAccept = 0, DecisionReject = 1, DecisionBusy = 2 };

// What the listener does with a request once the question has been answered.
// The question sends nothing itself; the connection may have gone while it was
// open, so the reply depends on whether it is still connected.
struct TChatRequestAnswer {
  bool Accept = false;        // hand the connection to a new private-chat window
  int ReplyCode = 0;          // 1005 (reject) or 1004 (busy) to send first; 0 none
  bool SendBusyMessage = false;  // 1004's parameters are the profile's busy message
  bool CloseAndRelease = false;  // close, then free the socket after this event
  static TChatRequestAnswer ForDecision(int decision, bool stillConnected);
};
