// FieldInspector: the field details of the structure page. Choosing a field
// shows its name, type, length, nullability, default value and related field
// as the catalog has them, and records what is shown in the session's field
// snapshot, against which Apply Changes later finds what the user changed.
// The type box keeps the length box in step: only TEXT fields have a length.
#pragma once

namespace Ui {
class StructurePage;
}
namespace kevra::ui {
class DatabaseSession;
}

namespace kevra::browse {

class FieldInspector {
 public:
  FieldInspector(Ui::StructurePage& form, ui::DatabaseSession& session) : form_(form), session_(session) {}

  // Shows the field chosen in the field list. A name that matches no column
  // of the table fails on the catalog's read, with nothing changed.
  void showField();
  // The user chose a type: TEXT gets a length (50 when the box is empty),
  // any other type none.
  void typeChosen();
  // The user clicked the length box: as typeChosen(), without the 50.
  void lengthBoxClicked();
  void hideDetails();

 private:
  void setDetailsVisible(bool visible);
  Ui::StructurePage& form_;
  ui::DatabaseSession& session_;
};

}  // namespace kevra::browse
