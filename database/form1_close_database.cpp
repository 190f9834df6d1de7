// File > Close: empty the tree, close the shared connection and the records
// dataset, hide the pages and return the menus to the closed state.
#include "app/form1.h"
#include "database/ado_types.h"
#include "ui_form1.h"

void Form1::vtkapatClick() {
  ui->TreeView1->clear();
  // A connection left closed by a failed refresh is not closed again.
  if (context_.connection->State() != kevra::db::adStateClosed) context_.connection->Close();
  ui->PageControl1->hide();
  ui->DBGrid1->hide();
  setDatabaseMenus(false);
  setStatusText(QStringLiteral("Closed"));
  ADOTable1.Close();
}
