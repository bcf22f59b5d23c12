// Filling the online list from a 9010 listing of 10,000 users, as the
// directory link does (list emptied, records merged, redraw back on, painted),
// beside a tree view set up as the list is and given the same content (six
// texts, the status icon and two data roles per row) in one batch, with no
// parsing. The two take turns; each round gives one ratio, and the median
// ratio is the figure, against the goal of at most 1.3.
#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ContactList.h"
#include "core/MainPanels.h"
#include "platform/EventLoop.h"

namespace {

constexpr int kUsers = 10000;
constexpr int kRounds = 7;
constexpr double kGoal = 1.3;

std::string Listing() {
  std::string text;
  for (int i = 0; i < kUsers; ++i) {
    if (i) text += "||";
    text += std::to_string(20000000 + i) + "{$}User" + std::to_string(i) + "{$}1{$}" + std::to_string(i % 5) +
            "{$}10." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) + ".1{$}2960";
  }
  return text;
}

template <class Fn>
double TimeMs(Fn&& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  QApplication::processEvents();  // the repaint that follows the fill
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

const char* const kStatus[] = {"Available", "Busy", "Invisible", "Away", "Unavailable"};

// The list's own set-up, without its model.
void SetUpLikeTheList(QTreeWidget& tree) {
  tree.setColumnCount(6);
  tree.setHeaderLabels({"User", "Status", "IP", "Port", "ID", "Online"});
  tree.header()->hide();
  tree.setRootIsDecorated(false);
  tree.setSelectionBehavior(QAbstractItemView::SelectRows);
  tree.setSelectionMode(QAbstractItemView::SingleSelection);
  tree.setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree.setColumnWidth(0, 95);
  tree.setColumnWidth(1, 70);
  for (int c = 2; c < 6; ++c) tree.setColumnHidden(c, true);
  tree.setUniformRowHeights(true);
  tree.setSortingEnabled(true);
  tree.sortByColumn(0, Qt::AscendingOrder);
}

void FillBare(QTreeWidget& tree) {
  tree.setUpdatesEnabled(false);
  tree.setSortingEnabled(false);
  tree.clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(kUsers);
  for (int i = 0; i < kUsers; ++i) {
    auto* item = new QTreeWidgetItem;
    const int mode = i % 5;
    item->setText(0, QString("User%1").arg(i));
    item->setText(1, kStatus[mode]);
    item->setText(2, QString("10.%1.%2.1").arg(i / 256 % 256).arg(i % 256));
    item->setText(3, "2960");
    item->setText(4, QString::number(20000000 + i));
    item->setText(5, "1");
    item->setData(0, Qt::UserRole + 1, mode);
    item->setData(0, Qt::UserRole + 2, QVariant::fromValue<qulonglong>(static_cast<qulonglong>(i)));
    item->setIcon(0, StatusIcon(mode));
    items.push_back(item);
  }
  tree.addTopLevelItems(items);
  tree.setSortingEnabled(true);
  tree.sortByColumn(0, Qt::AscendingOrder);
  tree.setUpdatesEnabled(true);
}

}  // namespace

int main(int argc, char** argv) {
  // Runs on machines without a display too, as the figures do not depend on one.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  platform::TEventLoopChoice loop;
  QApplication app(argc, argv);
  loop.Done();
  const std::string listing = Listing();

  TContacts model(TContactListKind::Online);
  TContactList list(model);
  list.resize(182, 196);
  list.show();
  QTreeWidget bare;
  SetUpLikeTheList(bare);
  bare.resize(182, 196);
  bare.show();
  QApplication::processEvents();

  auto ours = [&] {
    return TimeMs([&] {
      TContactsUpdate batch(model);
      model.Clear();
      MergeUserList(model, listing, [](const std::string&) {});
    });
  };
  auto floor = [&] { return TimeMs([&] { FillBare(bare); }); };
  std::vector<double> oursMs, floorMs, ratios;
  for (int r = 0; r < kRounds; ++r) {
    double o, f;
    if (r % 2 == 0) {
      o = ours();
      f = floor();
    } else {
      f = floor();
      o = ours();
    }
    oursMs.push_back(o);
    floorMs.push_back(f);
    ratios.push_back(o / f);
  }
  const double ratio = Median(ratios);
  std::printf("online list from a 9010 listing of %d users (%zu bytes), medians of %d alternating rounds:\n", kUsers,
              listing.size(), kRounds);
  std::printf("  parlo ListO fill          %8.1f ms  (goal < 100 ms)  items: %d\n", Median(oursMs), list.Count());
  std::printf("  tree with the same rows   %8.1f ms  (same set-up and content, one batch, no parsing)\n",
              Median(floorMs));
  std::printf("  ratio %.2f; goal <= %.1f: %s\n", ratio, kGoal, ratio <= kGoal ? "met" : "NOT met");
  return 0;
}
