#include "conversations/ChatPickers.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "conversations/Emoticons.h"
#include "core/DialogLook.h"
#include "core/session/Paths.h"
#include "platform/Charset.h"

namespace {

// Where a tree node keeps the sound it picks; group nodes hold none.
constexpr int kSoundRole = Qt::UserRole + 1;

// A label that acts when clicked.
class TClickLabel : public QLabel {
 public:
  TClickLabel(const QString& text, std::function<void()> onClick, QWidget* parent)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) onClick_();
  }

 private:
  std::function<void()> onClick_;
};

}  // namespace

const std::vector<TSoundTreeGroup>& SoundTree() {
  static const std::vector<TSoundTreeGroup> tree = {
      {"Sound Effects", {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 22, 21, 20}},
      {"Applause", {8, 9}},
      {"Animals", {17, 18, 19}},
      {"Miscellaneous", {15, 16, 25, 32, 39, 35}},
      {"Human Voices", {24, 27, 28, 29, 30, 31, 34, 33, 42, 43, 44, 45, 46, 47}},
      {"Flirting", {14, 26, 36, 37, 38, 40, 41}},
  };
  return tree;
}

std::string SoundTreeText(int index) {
  if (index == 44) return "Yada Yada Yada";
  return index >= 0 && index < ChatSoundCount ? ChatSound[index].Caption : "";
}

// ----- the panel both pickers are -------------------------------------------------------

TPickerPanel::TPickerPanel(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Box);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, dialoglook::PanelColour());
  setPalette(pal);
  setFocusPolicy(Qt::StrongFocus);
  QObject::connect(qApp, &QApplication::focusChanged, this,
                   [this](QWidget* from, QWidget* to) { FocusMoved(from, to); });
  hide();
}

void TPickerPanel::Popup(const QPoint& topLeft, TPickerPanel* other, bool focus) {
  if (other != nullptr) other->hide();
  move(topLeft);
  raise();
  show();
  if (focus) setFocus();
}

void TPickerPanel::FocusMoved(QWidget* from, QWidget* to) {
  if (!isVisible() || to == nullptr || to->window() != window()) return;
  const auto inside = [this](QWidget* w) { return w != nullptr && (w == this || isAncestorOf(w)); };
  if (inside(from) && !inside(to)) hide();
}

QWidget* TPickerPanel::CancelLabel() {
  auto* label = new TClickLabel("Cancel", [this] { hide(); }, this);
  label->setObjectName("LabCancel");
  return label;
}

// ----- emoticons -------------------------------------------------------------------------

TEmoticonPicker::TEmoticonPicker(const std::string& iconsFolder, QWidget* parent) : TPickerPanel(parent) {
  setObjectName("PEm");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setSpacing(2);
  for (int i = 0; i < EmoticonCount; ++i) {
    auto* image = new QToolButton(this);
    image->setObjectName(QString("Image%1").arg(i + 1));
    image->setAutoRaise(true);
    image->setIcon(QPixmap(QString::fromStdString(platform::PathFromName(EmoticonPicture(iconsFolder, i + 1)).string())));
    image->setIconSize(QSize(19, 19));
    image->setToolTip(platform::ToQString(Emoticon[i]));
    QObject::connect(image, &QToolButton::clicked, this, [this, i] { Pick(i); });
    grid->addWidget(image, i / 5, i % 5);
  }
  grid->addWidget(CancelLabel(), EmoticonCount / 5, 0, 1, 5, Qt::AlignRight);
  adjustSize();
}

void TEmoticonPicker::Pick(int entry) {
  hide();
  if (OnPick && entry >= 0 && entry < EmoticonCount) OnPick(entry);
}

// ----- sounds ------------------------------------------------------------------------------

TSoundPicker::TSoundPicker(QWidget* parent) : TPickerPanel(parent) {
  setObjectName("PSound");
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(4, 4, 4, 4);
  TreeSounds = new QTreeWidget(this);
  TreeSounds->setObjectName("TreeSounds");
  TreeSounds->setHeaderHidden(true);
  TreeSounds->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (const TSoundTreeGroup& group : SoundTree()) {
    auto* node = new QTreeWidgetItem(TreeSounds, QStringList(QString::fromLatin1(group.Caption)));
    for (int index : group.Sounds) {
      auto* sound = new QTreeWidgetItem(node, QStringList(platform::ToQString(SoundTreeText(index))));
      sound->setData(0, kSoundRole, index);
    }
  }
  TreeSounds->expandAll();
  // A sound is picked by clicking its node or by selecting it from the
  // keyboard; a click's press selects as well, and that is left to the click.
  QObject::connect(TreeSounds, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { NodeChosen(node); });
  QObject::connect(TreeSounds, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
    if (QApplication::mouseButtons() == Qt::NoButton) NodeChosen(node);
  });
  box->addWidget(TreeSounds);
  box->addWidget(CancelLabel(), 0, Qt::AlignRight);
  resize(200, 300);
}

QTreeWidgetItem* TSoundPicker::SoundNode(int index) const {
  for (int g = 0; g < TreeSounds->topLevelItemCount(); ++g) {
    QTreeWidgetItem* group = TreeSounds->topLevelItem(g);
    for (int s = 0; s < group->childCount(); ++s)
      if (group->child(s)->data(0, kSoundRole).toInt() == index) return group->child(s);
  }
  return nullptr;
}

void TSoundPicker::NodeChosen(QTreeWidgetItem* node) {
  const QVariant index = node == nullptr ? QVariant() : node->data(0, kSoundRole);
  if (!index.isValid()) return;
  {
    const QSignalBlocker quiet(TreeSounds);
    TreeSounds->setCurrentItem(node);
  }
  if (HideOnPick) hide();
  if (OnPick) OnPick(index.toInt());
}
