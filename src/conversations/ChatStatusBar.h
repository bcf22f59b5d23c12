#pragma once

#include <QWidget>
#include <array>
#include <string>

// The chat window's status bar: the character count (150 pixels wide), the
// peer's typing notice (260) and the connection text (250), the last drawn
// beside the picture of the chat's state (0 closed, 1 connected, 2 connecting).
class TChatStatusBar : public QWidget {
 public:
  explicit TChatStatusBar(QWidget* parent);
  void SetPanel(int panel, const std::string& text);
  const std::string& Panel(int panel) const { return texts_.at(static_cast<std::size_t>(panel)); }
  void SetStateImage(int image);
  int StateImage() const { return image_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::array<std::string, 3> texts_;
  int image_ = 0;
};
