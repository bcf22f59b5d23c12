#pragma once

class TFormAlert;
class TFormMsg;
class TMessageRoutes;
class TSession;

// What the end-to-end tests ask of instant messages through the environment,
// read only while the test hooks are on (PARLO_TEST_HOOKS=1). Once the first
// log-on is through:
//   PARLO_TEST_MSG_OPEN="id"          a message window for that user opens
//   PARLO_TEST_MSG_SEND="id:text"     the messages (one a line) go out one after another,
//                                     typed into a message window, or through
//                                     the conversation alone while there are
//                                     no message windows
//   PARLO_TEST_MSG_CHECK=1            "Check Messages" runs
// And at any time:
//   PARLO_TEST_ALERT_CHOOSE=1         every message alert is chosen as it shows
// Trace lines: "msg text <id>: <text>" (a message shown in a window), and the
// session's and the alert's own ("message stored <id> <key>", "message
// announced <id>", "message shown <id> <key>", "no messages waiting",
// "alert <caption>", "message sent to <id>").
void AttachMessageTestHooks(TSession& session, TMessageRoutes& routes, TFormAlert& alert);
void AttachTestHooks(TFormMsg& window);
