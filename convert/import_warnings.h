// What an import tells the user when it succeeded with changes: the tables
// and fields it renamed, and the like, in one information box.
#pragma once

class QWidget;

namespace kevra::db {
struct ImportOutcome;
}

namespace kevra::convert {

// Shows nothing when there is nothing to tell.
void showImportWarnings(QWidget* parent, const db::ImportOutcome& outcome);

}  // namespace kevra::convert
