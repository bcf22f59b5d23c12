#include "conversations/DatasetGrid.h"

#include <QHeaderView>
#include <algorithm>

#include "platform/Charset.h"
#include "platform/Dataset.h"
#include "platform/Strings.h"

TDatasetGrid::TDatasetGrid(std::vector<std::string> fields, QWidget* parent)
    : QTableWidget(parent), fields_(std::move(fields)) {
  setColumnCount(static_cast<int>(fields_.size()));
  QStringList headers;
  for (const std::string& f : fields_) headers << platform::ToQString(f);
  setHorizontalHeaderLabels(headers);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  verticalHeader()->setVisible(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  horizontalHeader()->setStretchLastSection(true);
}

void TDatasetGrid::Fill(platform::Dataset& table, int select) {
  rows_.clear();
  for (table.First(); !table.Eof(); table.Next()) {
    std::vector<std::string> row;
    for (const std::string& f : fields_) row.push_back(table.FieldValue(f));
    rows_.push_back(std::move(row));
  }
  clearContents();
  setRowCount(static_cast<int>(rows_.size()));
  for (int r = 0; r < rowCount(); ++r)
    for (int c = 0; c < columnCount(); ++c) {
      // A cell shows one line; the whole text is in the table.
      const std::string& value = rows_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
      setItem(r, c, new QTableWidgetItem(platform::ToQString(platform::StringReplace(value, "\r\n", " "))));
    }
  if (rows_.empty()) return;
  setCurrentCell(std::clamp(select, 0, rowCount() - 1), 0);
}

int TDatasetGrid::Row() const { return rows_.empty() ? -1 : currentRow(); }

std::string TDatasetGrid::Value(int row, const std::string& field) const {
  const auto at = std::find(fields_.begin(), fields_.end(), field);
  if (row < 0 || row >= static_cast<int>(rows_.size()) || at == fields_.end()) return "";
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(at - fields_.begin())];
}
