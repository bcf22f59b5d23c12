#pragma once

#include <QFrame>
#include <functional>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

// The sound picker's tree: six groups, each followed by its sounds (indexes
// of the ChatSound table). Indexes 12, 13 and 23 have no node.
struct TSoundTreeGroup {
  const char* Caption;
  std::vector<int> Sounds;
};
const std::vector<TSoundTreeGroup>& SoundTree();
// What the tree shows for sound `index`: its caption, with one exception.
std::string SoundTreeText(int index);

// A small panel that floats over its window and goes away once the focus
// moves from it to another control of its window, a choice is made or
// "Cancel" is clicked.
class TPickerPanel : public QFrame {
 public:
  explicit TPickerPanel(QWidget* parent);
  // Hides the other picker and shows this one, with the focus unless told not to.
  void Popup(const QPoint& topLeft, TPickerPanel* other, bool focus = true);

 protected:
  // A "Cancel" label that hides the panel.
  QWidget* CancelLabel();

 private:
  // Another window taking the focus leaves this one's focus where it is.
  void FocusMoved(QWidget* from, QWidget* to);
};

// The 20 emoticon pictures; a click picks entry i (0..19), whose code goes
// into the input.
class TEmoticonPicker : public TPickerPanel {
 public:
  // iconsFolder: where the pictures are, ending in a backslash.
  TEmoticonPicker(const std::string& iconsFolder, QWidget* parent);
  std::function<void(int entry)> OnPick;
  void Pick(int entry);
};

// The sound effects as a tree of groups; a sound node picks its index.
class TSoundPicker : public TPickerPanel {
 public:
  explicit TSoundPicker(QWidget* parent);
  std::function<void(int index)> OnPick;
  // A chat room keeps the picker open for the next sound.
  bool HideOnPick = true;
  QTreeWidget* TreeSounds;
  // The node that picks `index`, or null when the tree has none.
  QTreeWidgetItem* SoundNode(int index) const;

 private:
  void NodeChosen(QTreeWidgetItem* node);
};
