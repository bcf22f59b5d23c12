#pragma once

class QImage;
class QWidget;
class TCamRoutes;

// What the end-to-end tests and the broadcast bench ask of the webcams
// through the environment, read only while the test hooks are on
// (PARLO_TEST_HOOKS=1):
//   PARLO_TEST_CAM_BROADCAST=1        open the broadcast window at start
//   PARLO_TEST_CAM_INTERVAL_MS=ms     the broadcast's picture interval
//   PARLO_TEST_CAM_INVITE=port        then offer the cam to 127.0.0.1:port
//   PARLO_TEST_CAM_VIEW="user:port"   view that user's cam on 127.0.0.1 at start
//   PARLO_TEST_CAM_ALLOW=1            allow every viewer that asks
//   PARLO_TEST_CAM_DECISION=n         answer every cam offer with n (0..2)
//   PARLO_TEST_CAM_GRAB="file.png"    picture of the viewer's window after
//                                     its third picture
// Trace lines: "cam broadcasting", "cam viewer admitted <user>", "cam offer
// from <user>", "cam picture <number>" (the synthetic camera's frame number,
// -1 for another picture), "cam grabbed".
void AttachCamTestHooks(TCamRoutes& routes);
// A viewer showed a picture: traced while the hooks are on.
void TraceCamPicture(QWidget& window, const QImage& picture);
