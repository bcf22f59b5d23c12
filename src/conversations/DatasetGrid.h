#pragma once

#include <QTableWidget>
#include <string>
#include <vector>

namespace platform {
class Dataset;
}

// A read-only grid of a local table's rows as they stand now (those its
// filter lets through), one column per field named, whole rows selected.
// It is filled anew whenever its window says so; the table is not followed.
class TDatasetGrid : public QTableWidget {
 public:
  TDatasetGrid(std::vector<std::string> fields, QWidget* parent);

  // Every visible row of the table, in table order; `select` (kept in range)
  // becomes the current row.
  void Fill(platform::Dataset& table, int select = 0);
  // The current row, -1 when there is none.
  int Row() const;
  // A field of a row as the table holds it; "" for a row or field not there.
  std::string Value(int row, const std::string& field) const;

 private:
  std::vector<std::string> fields_;
  std::vector<std::vector<std::string>> rows_;
};
