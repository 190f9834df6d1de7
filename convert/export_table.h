// Convert > Export: the Export Database dialog for the selected table, shown
// modally and gone when it closes.
#pragma once
#include <QString>

class QWidget;

namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::convert {

void exportTable(QWidget* parent, ui::DatabaseSession& session, const QString& table);

}  // namespace kevra::convert
