#pragma once

#include <QColor>
#include <QIcon>
#include <QWidget>
#include <functional>
#include <string>

class QPainter;

// The main window's hand-drawn pieces: its tabs, the frames behind the lists
// and selectors, the three-panel status bar, and the small status pictures.

inline const QColor kFormColor(0x00, 0x61, 0x96);   // dark blue of every form
inline const QColor kPanelColor(0xB0, 0xC4, 0xDE);  // light blue of panels and frames

// Picture of a StatusMode (0..4) as the lists and the status selector show it;
// a null icon for any other number.
QIcon StatusIcon(int mode);
// Pictures of the status bar's end panels: 0 closed / not listening, 1 connected
// / listening, 2 connecting.
QIcon LinkStateIcon(int image);

// Pictures of the commands in the contact lists' menus, beside the status
// pictures.
enum class TCommandPicture {
  Chat, Message, Profile, CamView, Invite, Files, Image, Sound, CamSend, RemoveFriend, AddFriend, Block, History
};
QIcon CommandPicture(TCommandPicture picture);

// One tab of a row: the selected one in the form colour with white text, the
// others light blue with a grey rule along their foot.
class TTabBox : public QWidget {
 public:
  TTabBox(const QString& caption, QWidget* parent);
  bool Selected() const { return selected_; }
  void SetSelected(bool on);
  std::function<void()> OnMouseDown;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;

 private:
  void PaintTab(QPainter& p, bool selected);

  QString caption_;
  bool selected_ = false;
};

// A paint box: what it shows is drawn by its owner's handler.
class TPaintBox : public QWidget {
 public:
  explicit TPaintBox(QWidget* parent) : QWidget(parent) {}
  std::function<void(QPainter& p)> OnPaint;

 protected:
  void paintEvent(QPaintEvent*) override;
};

// A filled frame with small rounded corners from (3, 0) to (width - 3, height),
// as behind the contact lists and the selectors.
void PaintRoundedFrame(QPainter& p, const QSize& size, const QColor& color);

// The status bar: three panels of 20, 150 and the rest: the listener picture,
// the status text and the directory connection picture.
class TStatusBar : public QWidget {
 public:
  static constexpr int kIconPanel = 20;
  static constexpr int kTextPanel = 150;

  explicit TStatusBar(QWidget* parent);
  void SetListenStateIcon(int image);
  void SetServerStateIcon(int image);
  void SetStatusText(const std::string& text);
  int ListenStateIcon() const { return listenImage_; }
  int ServerStateIcon() const { return serverImage_; }
  const std::string& StatusText() const { return text_; }
  QRect PanelRect(int panel) const;
  // Where the text goes, and the type it is drawn in: the widget's own, made
  // smaller when the text would not fit otherwise.
  QRect TextRect() const;
  QFont TextFont() const;
  // Draws one panel: its text one pixel in from the corner, and the picture
  // of the listener (panel 0) or of the connection (panel 2) at the corner.
  void StatDrawPanel(QPainter& p, int panel, const QRect& rect);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int listenImage_ = 0;
  int serverImage_ = 0;
  std::string text_;
};
