// StructurePage: the "Structure" page: the fields of the selected table with
// the field inspector below them, the fields of its primary key, and its
// indexes with the index inspector. showTable() builds the lists from the
// catalog; the inspectors read the catalog again on every choice.
//
// The page's structure commands (field Add and Del, Apply Changes, key Select,
// index Add and Del) are disabled until they get their work.
#pragma once
#include <QWidget>
#include <memory>

namespace Ui {
class StructurePage;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::browse {

class FieldInspector;
class IndexInspector;

class StructurePage : public QWidget {
  Q_OBJECT
 public:
  explicit StructurePage(QWidget* parent = nullptr);
  ~StructurePage() override;

  // The session whose selected table the page shows; set once, before use.
  void setSession(ui::DatabaseSession& session);

  // Fills the field list, the key field list (primary key fields checked),
  // the index field list, the index list and the related field list for the
  // session's selected table, and hides the field and index details.
  void showTable();

  // The inspectors, run when the user chooses a field, a type or an index, or
  // clicks the length box.
  void showField();
  void fieldTypeChosen();
  void lengthBoxClicked();
  void showIndex();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fillRelatedFieldList();
  void checkPrimaryKeyFields();

  std::unique_ptr<Ui::StructurePage> form_;
  ui::DatabaseSession* session_ = nullptr;
  std::unique_ptr<FieldInspector> fields_;
  std::unique_ptr<IndexInspector> indexes_;
};

}  // namespace kevra::browse
