// UpsizeRun: an upsize on a worker thread while a progress box names the
// table being copied and counts its rows; Cancel stops it at the next block
// of rows, the target left as it was. The window stays responsive (the box
// is modal to it) and its own connections are not touched by the worker.
#pragma once
#include <QString>
#include <string>

#include "database/upsize.h"

class QWidget;

namespace kevra::convert {

// Runs the upsize and returns its outcome; its failure (a cancel included)
// is thrown again on the calling thread. `totalRows` sizes the progress bar.
db::UpsizeOutcome runUpsize(QWidget* parent, const std::string& sourceConnectionString,
                            const db::UpsizeSettings& settings, uint64_t totalRows);

// The progress box's label for `rows` rows of `table` copied ("Customers:
// 12,000 rows"), in the desktop's number format.
QString upsizeProgressText(const QString& table, uint64_t rows);

}  // namespace kevra::convert
