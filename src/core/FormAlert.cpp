#include "core/FormAlert.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>
#include <memory>

#include "core/DialogLook.h"
#include "core/FormUpdate.h"
#include "core/session/PeerBounds.h"
#include "core/session/RelayedMessages.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "core/session/UpdateCheck.h"
#include "platform/Charset.h"

namespace {

constexpr int kWidth = 188, kHeight = 227;
constexpr int kListInset = 16;
constexpr const char* kNoneKey = "none";

enum Column { ColName = 0, ColKey, ColType };

std::string Text(const QTreeWidgetItem* item, int column) { return platform::FromQString(item->text(column)); }

// Draws an alert's text over as many lines as the column's width needs,
// breaking between words where it can and inside a word that is longer than
// a line; the row is as high as those lines. Under the mouse it is underlined.
class TWrappingDelegate : public QStyledItemDelegate {
 public:
  explicit TWrappingDelegate(QTreeWidget* view) : QStyledItemDelegate(view), view_(view) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int width = TextWidth(index);
    const qreal height = Lay(index.data().toString(), option.font, width)->boundingRect().height();
    return QSize(width, static_cast<int>(std::ceil(height)) + 2 * kPadding);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o(option);
    initStyleOption(&o, index);
    const QString text = o.text;
    o.text.clear();
    view_->style()->drawControl(QStyle::CE_ItemViewItem, &o, painter, view_);
    QFont font = o.font;
    font.setUnderline(o.state.testFlag(QStyle::State_MouseOver));
    painter->save();
    const bool selected = o.state.testFlag(QStyle::State_Selected);
    painter->setPen(o.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    Lay(text, font, TextWidth(index))->draw(painter, QPointF(o.rect.left() + kPadding, o.rect.top() + kPadding));
    painter->restore();
  }

 private:
  static constexpr int kPadding = 2;

  int TextWidth(const QModelIndex& index) const {
    return std::max(16, view_->columnWidth(index.column()) - 2 * kPadding);
  }

  static std::unique_ptr<QTextLayout> Lay(const QString& text, const QFont& font, int width) {
    auto layout = std::make_unique<QTextLayout>(text, font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(wrap);
    layout->beginLayout();
    qreal y = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
      line.setLineWidth(width);
      line.setPosition(QPointF(0, y));
      y += line.height();
    }
    layout->endLayout();
    return layout;
  }

  QTreeWidget* view_;
};

}  // namespace

// A toast as desktops expect one: a window the window manager leaves alone,
// so that no taskbar lists it, above the others.
TFormAlert::TFormAlert(TSession& session)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint) {
  setObjectName("FormAlert");
  setWindowTitle("Parlo");
  // A toast must not take the keyboard from what the user is typing into.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(kWidth, kHeight);

  List = new QTreeWidget(this);
  List->setObjectName("List");
  List->setColumnCount(3);
  List->setHeaderHidden(true);
  List->setRootIsDecorated(false);
  List->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List->setFrameShape(QFrame::NoFrame);
  List->setColumnHidden(ColKey, true);
  List->setColumnHidden(ColType, true);
  List->header()->setSectionResizeMode(ColName, QHeaderView::Stretch);
  // The box is narrow: an alert takes the lines it needs rather than losing its end.
  List->setItemDelegate(new TWrappingDelegate(List));
  List->setMouseTracking(true);
  List->viewport()->setCursor(Qt::PointingHandCursor);
  List->setGeometry(kListInset, kListInset, kWidth - 2 * kListInset, kHeight - 2 * kListInset);
  // The item is acted on (and taken away) once the view is done with the
  // click; a click that also activates finds it gone and does nothing.
  auto choose = [this](QTreeWidgetItem* item) {
    const std::string key = Text(item, ColKey);
    QTimer::singleShot(0, this, [this, key] { ListSelectItem(FindItem(key)); });
  };
  // Selected by the mouse or the keys, an item acts; Enter or a double click
  // on the current one too.
  connect(List, &QTreeWidget::itemSelectionChanged, this, [this, choose] {
    for (QTreeWidgetItem* item : List->selectedItems()) choose(item);
  });
  connect(List, &QTreeWidget::itemActivated, this, choose);

  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(kShowMs);
  connect(Timer1, &QTimer::timeout, this, &TFormAlert::Timer1Timer);

  OpenMessages = [&session](const std::string& userId) { session.Messages().OpenMessagesFrom(userId); };
  OpenUpdate = [&session](const std::string& url, const std::string& version) {
    TFormUpdate::OpenUpdateDownload(session, url, version);
  };
  links_.push_back(session.Messages().MessageAnnounced.Connect(
      [this](const std::string& userId, const std::string& userName, const std::string&) {
        AddMessageAlert(userId, userName);
      }));
  links_.push_back(session.Messages().NoMessagesWaiting.Connect([this] { AddNoMessagesAlert(); }));
  links_.push_back(session.Updates().UpdateAvailable.Connect(
      [this](const std::string& build, const std::string& url) { AddUpdateAlert(build, url); }));
  links_.push_back(session.Updates().NoUpdateAvailable.Connect([this] { AddNoUpdateAlert(); }));
}

TFormAlert::~TFormAlert() { links_.clear(); }

void TFormAlert::AddMessageAlert(const std::string& userId, const std::string& userName) {
  Add("Message(s) from: " + CutPeerText(userName, peerbounds::kShownName), userId, MessageAlert);
}

void TFormAlert::AddNoMessagesAlert() { Add("No new Messages", kNoneKey, NoneAlert); }

void TFormAlert::AddUpdateAlert(const std::string& version, const std::string& url) {
  version_ = version;
  url_ = url;
  Add("Update to " + version + " Available", url, UpdateAlert);
}

void TFormAlert::AddNoUpdateAlert() { Add("No Updates Available", kNoneKey, NoneAlert); }

void TFormAlert::Add(const std::string& caption, const std::string& key, TAlertType type) {
  if (!HasAlertItem(key)) {
    auto* item = new QTreeWidgetItem(List);
    item->setText(ColName, platform::ToQString(caption));
    item->setText(ColKey, platform::ToQString(key));
    item->setText(ColType, QString::number(type));
    testhooks::Trace("alert " + caption);
  }
  Timer1->stop();
  Timer1->start();
  show();
  raise();
}

QTreeWidgetItem* TFormAlert::FindItem(const std::string& key) const {
  for (int i = 0; i < List->topLevelItemCount(); ++i)
    if (Text(List->topLevelItem(i), ColKey) == key) return List->topLevelItem(i);
  return nullptr;
}

bool TFormAlert::HasAlertItem(const std::string& key) const { return FindItem(key) != nullptr; }

void TFormAlert::Remove(QTreeWidgetItem* item) {
  delete item;
  if (List->topLevelItemCount() == 0) hide();
}

void TFormAlert::RemoveAlertItem(const std::string& key) {
  if (QTreeWidgetItem* item = FindItem(key)) Remove(item);
  if (key != kNoneKey) RemoveNoneItem();
}

void TFormAlert::RemoveNoneItem() {
  if (QTreeWidgetItem* item = FindItem(kNoneKey)) Remove(item);
}

void TFormAlert::Timer1Timer() { hide(); }

void TFormAlert::ListSelectItem(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  const std::string key = Text(item, ColKey);
  switch (item->text(ColType).toInt()) {
    case MessageAlert:
      RemoveAlertItem(key);
      if (OpenMessages) OpenMessages(key);
      break;
    case NoneAlert:
      RemoveNoneItem();
      break;
    case UpdateAlert:
      RemoveAlertItem(key);
      if (OpenUpdate) OpenUpdate(url_, version_);
      break;
    default:
      break;
  }
}

// At the bottom right of the screen's free area, clear of panels and docks,
// and never beyond its edges.
void TFormAlert::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect free = screen->availableGeometry();
    move(std::max(free.left(), free.right() + 1 - width()), std::max(free.top(), free.bottom() + 1 - height()));
  }
  Timer1->start();
  List->setFocus();
}

void TFormAlert::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  Timer1->stop();
  RemoveNoneItem();
  testhooks::Trace("alert hidden");
}

void TFormAlert::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  QPainterPath outline;
  outline.addRoundedRect(rect(), 7, 7);
  setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void TFormAlert::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  PaintMainPaint(p);
  PaintBluePaint(p);
  PaintWinPaint(p);
}

void TFormAlert::PaintMainPaint(QPainter& p) { p.fillRect(rect(), dialoglook::FormColour()); }

void TFormAlert::PaintBluePaint(QPainter& p) {
  p.setPen(dialoglook::PanelColour());
  p.setBrush(dialoglook::PanelColour());
  p.drawRoundedRect(rect().adjusted(11, 11, -11, -11), 4, 4);
}

void TFormAlert::PaintWinPaint(QPainter& p) {
  const QColor window = palette().color(QPalette::Base);
  p.setPen(window);
  p.setBrush(window);
  p.drawRoundedRect(rect().adjusted(14, 14, -14, -14), 4, 4);
}
