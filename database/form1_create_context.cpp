// FormCreate: the main window's database context, made when the window is
// created: catalog, connection and statement recordset, in that order.
#include "app/form1.h"

void Form1::FormCreate() {
  context_.catalog = std::make_unique<kevra::db::Catalog>();
  context_.connection = std::make_unique<kevra::db::Connection>();
  context_.statement = std::make_unique<kevra::db::Recordset>();
  setStatusText(QStringLiteral("Closed"));
  context_.fieldSnapshot.clear();
}
