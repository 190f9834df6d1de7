// StructurePage: the "Structure" page: the fields of the selected table with
// the field inspector below them, the fields of its primary key, and its
// indexes with the index inspector. showTable() builds the lists from the
// catalog; the inspectors read the catalog again on every choice.
//
// The page's structure commands (field Add and Del, Apply Changes, key Select,
// index Add and Del) are requests the main window carries out; afterwards it
// patches the lists here. Boxes take input only where a command reads it:
// the field editors (Apply Changes) and the key field list (Select); the
// index details are for display.
#pragma once
#include <QStringList>
#include <QWidget>
#include <memory>

#include "schema/apply_field_changes.h"

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

  // Patching the lists after a command, instead of reading them again.
  // A field renamed through Apply Changes: its entries in the three field
  // lists and the related field entries of `table` take the new name.
  void renameField(const QString& table, const QString& from, const QString& to);
  // A field added: last in the field list and the key field list; no field
  // chosen, the field details hidden.
  void appendField(const QString& name);
  // The chosen field deleted: gone from the field list and the key field
  // list; no field chosen, the field details hidden.
  void removeChosenField(const QString& name);
  // An index created: last in the index list; no index chosen, the index
  // details hidden.
  void appendIndex(const QString& name);
  // The chosen index deleted: gone from the index list; no index chosen, the
  // index details hidden.
  void removeChosenIndex();

 signals:
  void applyChangesRequested(const kevra::schema::FieldEdits& edits);
  void addFieldRequested();
  void deleteFieldRequested(const QString& field);
  void selectKeyRequested(const QStringList& wantedFields);
  void addIndexRequested();
  void deleteIndexRequested(const QString& index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fillRelatedFieldList();
  void checkPrimaryKeyFields();
  void connectCommands();
  schema::FieldEdits fieldEdits() const;
  QStringList checkedKeyFields() const;

  std::unique_ptr<Ui::StructurePage> form_;
  ui::DatabaseSession* session_ = nullptr;
  std::unique_ptr<FieldInspector> fields_;
  std::unique_ptr<IndexInspector> indexes_;
};

}  // namespace kevra::browse
