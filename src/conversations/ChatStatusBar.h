#pragma once

#include <QIcon>
#include <QRect>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QPainter;

// A conversation window's status bar: three panels of text, the last taking
// what width is left, and a picture at the left of one of them. The private
// chat's shows the character count (150 pixels wide), the peer's typing
// notice (260) and the connection text (250) beside the picture of the chat's
// state (0 closed, 1 connected, 2 connecting).
class TChatStatusBar : public QWidget {
 public:
  using TPictureFn = std::function<QIcon(int image)>;

  explicit TChatStatusBar(QWidget* parent);
  TChatStatusBar(QWidget* parent, std::array<int, 3> widths, int picturePanel, TPictureFn picture);
  void SetPanel(int panel, const std::string& text);
  const std::string& Panel(int panel) const { return texts_.at(static_cast<std::size_t>(panel)); }
  void SetStateImage(int image);
  int StateImage() const { return image_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  // One panel: its text one pixel in, after the picture where it has one.
  void StatDrawPanel(QPainter& p, int panel, const QRect& bounds);
  QRect PanelRect(int panel) const;
  void RepaintLater();
  void RepaintChanged();

  std::array<std::string, 3> texts_;
  // What the bar last painted whole, panel by panel.
  std::array<std::string, 3> shownTexts_;
  int shownImage_ = -1;
  bool repaintDue_ = false;
  std::array<int, 3> widths_;
  int picturePanel_;
  TPictureFn picture_;
  int image_ = 0;
};
