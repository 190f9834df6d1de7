// File > Open: choose a file, open the shared connection on it, bind the
// catalog, list the user tables, switch the menus to the open state.
#include "app/form1.h"
#include "database/ado_types.h"
#include "ui_form1.h"

void Form1::VTacClick() {
  OpenDialog1.setFileName({});
  OpenDialog1.Execute(this);
  if (OpenDialog1.FileName().isEmpty()) return;  // cancelled: nothing changes
  openDatabase(OpenDialog1.FileName());
}

void Form1::openDatabase(const QString& path) {
  OpenDialog1.setFileName(path);
  context_.connectionString = kevra::db::kJetConnectionPrefix + path.toStdString();
  ADOTable1.setConnectionString(context_.connectionString);
  context_.connection->Open(context_.connectionString, "admin", "", -1);
  try {
    context_.catalog->ActiveConnection(*context_.connection);
    fillTableList();
  } catch (...) {
    // The menus still show the closed state, so the connection must be
    // closed too; otherwise the next Open would be refused.
    ui->TreeView1->clear();
    if (context_.connection->State() != kevra::db::adStateClosed) context_.connection->Close();
    throw;
  }
  setDatabaseMenus(true);
  setStatusText(path);
}
