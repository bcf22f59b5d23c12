#pragma once

class TFormPChat;
class TPrivateChatRoutes;

// What the end-to-end tests and the round-trip bench ask of the private chat
// through the environment, read only while the test hooks are on
// (PARLO_TEST_HOOKS=1):
//   PARLO_TEST_PCHAT_CALL="user:port"  call that user on 127.0.0.1 once the main
//                                      window is up
//   PARLO_TEST_PCHAT_SAY="text"        send it once the chat is authorized
//   PARLO_TEST_PCHAT_ECHO=1            send every peer message back
//   PARLO_TEST_PCHAT_PINGS=n           send n messages, each once the last
//                                      came back and was painted, and trace
//                                      the round trips
//   PARLO_TEST_PCHAT_CPU="k:n"         trace the CPU time the program spent from
//                                      the k-th peer message painted to the n-th
//   PARLO_TEST_PCHAT_GRAB="file.png"   picture of the window after each peer message
//   PARLO_TEST_PCHAT_SAVE="file.txt"   closing saves the transcript there
//   PARLO_TEST_PCHAT_QUIET=1           no trace line per message
//   PARLO_TEST_PCHAT_SENDCAM=1         press "Send Cam Broadcast" once authorized
//   PARLO_TEST_PCHAT_TICK_MS=ms        the answer countdown's step
// Trace lines: "pchat authorized", "pchat text: <text>", "pchat grabbed <n>"
// (the picture after the n-th peer message),
// "pchat round trips <n> median <us> p99 <us>", "pchat cpu <messages> <us each>
// typing <us each>" (typing: the part spent putting the text in the input).
void ScheduleTestCall(TPrivateChatRoutes& routes);
void AttachTestHooks(TFormPChat& window);
