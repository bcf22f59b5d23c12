#pragma once

#include <memory>

class TFormFileIn;
class TFormFileOut;
class TTransferPrompts;
class TTransferRoutes;

// What the end-to-end tests and the transfer bench ask of transfers through
// the environment, read only while the test hooks are on (PARLO_TEST_HOOKS=1):
//   PARLO_TEST_TRANSFER_TO="user:port"    where the sends go (on 127.0.0.1)
//   PARLO_TEST_TRANSFER_SEND="kind:name:file|file;kind::file"
//                                         sends made one after another once
//                                         the listener listens; the name is
//                                         the package's
//   PARLO_TEST_TRANSFER_ACCEPT=yes|no     the answer to every offer (unset:
//                                         none, the offer waits)
//   PARLO_TEST_TRANSFER_ACCEPT_MS=ms      how long after the offer shows
//   PARLO_TEST_TRANSFER_OVERWRITE=yes     unpacked files replace existing ones
// Trace lines: "transfer offer <kind> <package>", "transfer offer refused",
// "transfer packing", "transfer packed <count> <bytes>", "transfer sent
// <kind>", "transfer complete" (all bytes in), "transfer received <kind>
// <count>", "transfer failed out: <status>", "transfer failed in: <status>".
std::unique_ptr<TTransferPrompts> MakeTestTransferPrompts();
void ScheduleTestSends(TTransferRoutes& routes);
void AttachTestHooks(TFormFileOut& window);
void AttachTestHooks(TFormFileIn& window);
