// Filling the online list from a 9010 listing of 10,000 users, as the
// directory link does (list emptied, records merged, redraw back on, painted),
// beside a bare list view given the same 10,000 rows in one batch.
#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ContactList.h"

namespace {

constexpr int kUsers = 10000;
constexpr int kRounds = 7;

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
double MedianMs(Fn&& fn) {
  std::vector<double> ms;
  for (int r = 0; r < kRounds; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    QApplication::processEvents();  // the repaint that follows the fill
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // Runs on machines without a display too, as the figures do not depend on one.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string listing = Listing();

  TContacts model(TContactListKind::Online);
  TContactList list(model);
  list.resize(182, 196);
  list.show();
  const double ours = MedianMs([&] {
    TContactsUpdate batch(model);
    model.Clear();
    MergeUserList(model, listing, [](const std::string&) {});
  });

  QTreeWidget bare;
  bare.setColumnCount(6);
  bare.setSortingEnabled(true);
  bare.resize(182, 196);
  bare.show();
  const double floor = MedianMs([&] {
    bare.clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(kUsers);
    for (int i = 0; i < kUsers; ++i) {
      auto* item = new QTreeWidgetItem;
      item->setText(0, QString("User%1").arg(i));
      item->setText(1, "Available");
      item->setText(4, QString::number(20000000 + i));
      items.push_back(item);
    }
    bare.addTopLevelItems(items);
  });

  std::printf("online list from a 9010 listing of %d users (%zu bytes), median of %d:\n", kUsers, listing.size(),
              kRounds);
  std::printf("  parlo ListO fill      %8.1f ms  (goal < 100 ms)  items: %d\n", ours, list.Count());
  std::printf("  bare QTreeWidget fill %8.1f ms  (same rows, one batch, no parsing)\n", floor);
  return 0;
}
