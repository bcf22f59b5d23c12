#include "core/session/PeerAnswer.h"

#include "transport/CommandCodes.h"

TChatRequestAnswer TChatRequestAnswer::ForDecision(int decision, bool stillConnected) {
  TChatRequestAnswer a;
  switch (decision) {
    case DecisionAccept:
      // The chat window's hand-over tells the user when the caller has gone.
      a.Accept = true;
      break;
    case DecisionReject:
      a.ReplyCode = stillConnected ? cmd::ChatRejected : 0;
      a.CloseAndRelease = true;
      break;
    case DecisionBusy:
      a.ReplyCode = stillConnected ? cmd::ChatRefused : 0;
      a.SendBusyMessage = stillConnected;
      a.CloseAndRelease = true;
      break;
    default:
      break;
  }
  return a;
}
