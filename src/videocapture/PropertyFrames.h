#pragma once

// The device's own dialogs: its picture controls, and the choice of the
// capture pin's format; and the frame around the component's own pages.
// Behind an interface so that tests answer them.

#include <string>

#include "videocapture/engine/CaptureDevice.h"

class QWidget;

class TPropertyFrames {
 public:
  virtual ~TPropertyFrames() = default;
  // Whether the device has a settings page (picture controls or inputs).
  virtual bool HasDevicePages(videocapture::engine::TCaptureSource& source);
  // Modal; changes apply to the device as they are made.
  virtual void ShowDevicePages(QWidget* parent, videocapture::engine::TCaptureSource& source);
  // Modal; false when cancelled, else `format` is the choice.
  virtual bool ShowStreamConfig(QWidget* parent, videocapture::engine::TCaptureSource& source,
                                videocapture::engine::TVideoFormat& format);
  // Modal; takes the page, which applies its changes as they are made.
  virtual void ShowPage(QWidget* parent, const std::string& title, QWidget* page);
};

TPropertyFrames& PropertyFrames();
// Null brings back the dialogs; the caller keeps ownership of its own.
void SetPropertyFrames(TPropertyFrames* frames);
