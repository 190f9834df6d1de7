// IndexInspector: the index details of the structure page. Choosing an index
// checks its fields in the index field list and shows whether it is unique.
// For display only: nothing reads the marks back, nothing is written.
#pragma once
#include <array>

class QWidget;

namespace Ui {
class StructurePage;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::browse {

class IndexInspector {
 public:
  IndexInspector(Ui::StructurePage& form, ui::DatabaseSession& session) : form_(form), session_(session) {}

  // Shows the index chosen in the index list. An index that is gone (the
  // list is built only when a table is shown) fails on the catalog's read,
  // with the marks already cleared.
  void showIndex();
  void hideDetails();

 private:
  std::array<QWidget*, 4> details() const;
  Ui::StructurePage& form_;
  ui::DatabaseSession& session_;
};

}  // namespace kevra::browse
