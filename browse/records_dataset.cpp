// Opening and closing the records dataset on its own connection.
#include "browse/records_dataset.h"

#include "database/ado_types.h"

namespace kevra::browse {

RecordsDataset::RecordsDataset()
    : connection_(std::make_unique<kevra::db::Connection>()), recordset_(std::make_unique<kevra::db::Recordset>()) {}

RecordsDataset::~RecordsDataset() {
  listener_ = nullptr;
  Close();
}

void RecordsDataset::Open() {
  if (active_) return;
  try {
    if (connection_->State() == kevra::db::adStateClosed) connection_->Open(connectionString_, "admin", "", -1);
    recordset_->Open(commandText_, *connection_, /*keyset*/ 1, /*optimistic*/ 3, /*text*/ 1);
  } catch (...) {
    recordset_->Close();
    if (connection_->State() != kevra::db::adStateClosed) connection_->Close();
    throw;
  }
  active_ = true;
  notify();
}

void RecordsDataset::Close() {
  const bool wasActive = active_;
  active_ = false;
  recordset_->Close();
  if (connection_->State() != kevra::db::adStateClosed) connection_->Close();
  if (wasActive) notify();
}

bool RecordsDataset::CanModify() const {
  return active_ && !readOnly_ && recordset_->editable() && !connection_->readOnly();
}

void RecordsDataset::notify() {
  if (listener_) listener_();
}

}  // namespace kevra::browse
