// RefreshCat: after a structure change, reopen the shared connection, rebind
// the catalog and either reload the records of the table on screen
// (refreshtab) or rebuild the table tree.
#include <chrono>
#include <thread>

#include "app/form1.h"
#include "database/ado_types.h"
#include "ui_form1.h"

void Form1::RefreshCat(bool keepTable) {
  if (context_.connection->State() > kevra::db::adStateClosed) context_.connection->Close();
  ADOTable1.Close();
  context_.connection->Open(context_.connectionString, "admin", "", 0);
  context_.catalog->ActiveConnection(*context_.connection);
  if (keepTable) {
    refreshtab();
  } else {
    fillTableList();
    ui->PageControl1->hide();
  }
}

void Form1::refreshtab() {
  // The file may still be busy for a moment after a structure change; a few
  // attempts, then the last failure goes to the error display.
  constexpr int kAttempts = 3;
  constexpr auto kPause = std::chrono::milliseconds(100);
  for (int attempt = 1;; ++attempt) {
    try {
      ADOTable1.Open();
      return;
    } catch (const std::exception&) {
      if (attempt >= kAttempts) throw;
      std::this_thread::sleep_for(kPause);
    }
  }
}
