// QueryPage: the "SQL" page of a saved query: what kind of query it is,
// whether its rows can be opened, and its statement as Jet SQL, read-only.
#pragma once
#include <QWidget>
#include <memory>

#include "database/catalog.h"

namespace Ui {
class QueryPage;
}

namespace kevra::browse {

class QueryPage : public QWidget {
  Q_OBJECT
 public:
  explicit QueryPage(QWidget* parent = nullptr);
  ~QueryPage() override;

  // Shows `query`; `opensRows` says whether its rows are on the records page.
  void showQuery(const db::Query& query, bool opensRows);
  void clear();
  QString kindText() const;
  QString sqlText() const;

 private:
  std::unique_ptr<Ui::QueryPage> form_;
};

}  // namespace kevra::browse
