#pragma once

// The text caret of a window, with the rules of the system caret the editor
// was designed around: one caret per window, made with a size, hidden when
// made, shown and hidden by a count (each Hide needs a Show), moved freely
// while hidden. It blinks at the desktop's cursor flash rate and inverts the
// pixels it covers, so it shows over any background and leaves no trace.
//
// It is a small child widget over the window, not pixels of the window's own
// paint: scrolling the window's pixels never carries it along, and blinking
// never asks the window to paint more than the caret's own cell.

#include <memory>

#include "platform/Graphics.h"

class QWidget;

namespace platform {

class TCaret {
 public:
  explicit TCaret(QWidget* window);
  ~TCaret();
  TCaret(const TCaret&) = delete;
  TCaret& operator=(const TCaret&) = delete;

  // A new caret of that size, hidden once (Show makes it visible).
  void Create(int width, int height);
  void Destroy();
  bool Created() const { return created_; }
  void Show();
  void Hide();
  // Made, not hidden, and of some size.
  bool Visible() const;
  void SetPos(int x, int y);
  TPoint Pos() const { return pos_; }
  TPoint Size() const { return size_; }

 private:
  class Widget;
  void Update();
  void Apply();

  QWidget* window_;
  std::unique_ptr<Widget> widget_;
  bool created_ = false;
  bool updatePending_ = false;
  int hidden_ = 0;
  TPoint pos_;
  TPoint size_;
};

}  // namespace platform
