#pragma once

class TChatRoomRoutes;
class TSession;

// What the end-to-end tests ask of the chat rooms through the environment,
// read only while the test hooks are on (PARLO_TEST_HOOKS=1):
//   PARLO_TEST_ROOM_HOST="name"         host a room of that name on 127.0.0.1 once logged on
//   PARLO_TEST_ROOM_INVITE="Bob:port,…" invite these listeners on 127.0.0.1 once hosting
//   PARLO_TEST_ROOM_ACCEPT=1            accept every invitation
//   PARLO_TEST_ROOM_SAY="text"          say it once the room is full enough
//   PARLO_TEST_ROOM_SOUND=n             play sound n right after saying the text
//   PARLO_TEST_ROOM_WAIT=n              full enough: n members on the host, n rows
//                                       (the host's and the own among them) on a member
//   PARLO_TEST_ROOM_GRAB="file.png"     picture of the room window after each text it shows
//   PARLO_TEST_ROOM_IDLE_MS=ms          the host's idle interval
// Trace lines: "room hosting", "room members <n>" (host), "room rows <n>" and
// "room joined <chat>" (member), "room text: <name>: <text>", "room sound: <name> <n>",
// "room grabbed <n>".
void AttachRoomTestHooks(TChatRoomRoutes& routes, TSession& session);
