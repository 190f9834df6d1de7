// Helpers for the structure command tests: writable scratch copies of the
// samples, the structure of a file as a fresh connection reads it, and
// answering the modal dialog a command opens.
#pragma once
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "database/ado_types.h"
#include "database/catalog.h"
#include "database/connection.h"
#include "database/recordset.h"
#include "ui/database_session.h"
#include "window_probe.h"

// A writable copy of `sample` in `dir`, under the same name.
inline QString scratchCopy(const QTemporaryDir& dir, const char* sample) {
  const QString path = dir.filePath(QFileInfo(QString::fromLatin1(sample)).fileName());
  QFile::remove(path);
  if (!QFile::copy(samplePath(sample), path)) qFatal("cannot copy %s", sample);
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  return path;
}

// The file's structure as a connection of its own reads it now.
class StoredFile {
 public:
  explicit StoredFile(const QString& path) {
    connection_.Open(kevra::ui::kJetConnectionPrefix + path.toStdString(), "admin", "", 0);
    catalog_.ActiveConnection(connection_);
  }
  ~StoredFile() { connection_.Close(); }

  QStringList tables() const {
    QStringList names;
    const kevra::db::Tables& tables = catalog_.Tables();
    for (int t = 0; t < tables.Count(); ++t)
      if (tables.Item(t).Type() == "TABLE") names << QString::fromStdString(tables.Item(t).Name());
    return names;
  }
  const kevra::db::Table& table(const QString& name) const { return catalog_.Tables().Item(name.toStdString()); }
  QStringList fields(const QString& table) const {
    QStringList names;
    const kevra::db::Columns& columns = this->table(table).Columns();
    for (int c = 0; c < columns.Count(); ++c) names << QString::fromStdString(columns.Item(c).Name());
    return names;
  }
  // "type size NULL|NOT NULL default" of one field, e.g. "202 80 NULL ".
  QString field(const QString& table, const QString& name) const {
    const kevra::db::Column& column = this->table(table).Columns().Item(name.toStdString());
    const kevra::db::Property* def = column.Properties().find("default");
    return QStringLiteral("%1 %2 %3 %4")
        .arg(column.Type())
        .arg(column.DefinedSize())
        .arg(column.Attributes() & kevra::db::adColNullable ? "NULL" : "NOT NULL")
        .arg(def ? QString::fromStdString(kevra::db::propertyText(def->Value)) : QString());
  }
  // Each index as "Name(A,B)", with " primary" or " unique" after it.
  QStringList indexes(const QString& table) const {
    QStringList out;
    const kevra::db::Indexes& indexes = this->table(table).Indexes();
    for (int i = 0; i < indexes.Count(); ++i) {
      const kevra::db::Index& index = indexes.Item(i);
      QStringList columns;
      for (int c = 0; c < index.Columns().Count(); ++c)
        columns << QString::fromStdString(index.Columns().Item(c).Name());
      out << QString::fromStdString(index.Name()) + "(" + columns.join(',') + ")" +
                 (index.PrimaryKey() ? " primary"
                  : index.Unique()   ? " unique"
                                     : "");
    }
    return out;
  }
  // Each foreign key as "Name(A)->Table(B)".
  QStringList relations(const QString& table) const {
    QStringList out;
    const kevra::db::Keys& keys = this->table(table).Keys();
    for (int k = 0; k < keys.Count(); ++k) {
      const kevra::db::Key& key = keys.Item(k);
      if (key.Type() != kevra::db::adKeyForeign) continue;
      QStringList from, to;
      for (int c = 0; c < key.Columns().Count(); ++c) {
        from << QString::fromStdString(key.Columns().Item(c).Name());
        to << QString::fromStdString(key.Columns().Item(c).RelatedColumn());
      }
      out << QString::fromStdString(key.Name()) + "(" + from.join(',') + ")->" +
                 QString::fromStdString(key.RelatedTable()) + "(" + to.join(',') + ")";
    }
    return out;
  }

 private:
  kevra::db::Connection connection_;
  kevra::db::Catalog catalog_;
};

// Triggers a command that shows a modal dialog of type `Dialog` and hands the
// dialog to `answer` once it is up. A dialog still open afterwards is
// closed, so a failed check inside `answer` cannot leave the test waiting.
template <class Dialog>
bool withDialog(const std::function<void()>& trigger, const std::function<void(Dialog&)>& answer) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    seen = true;
    answer(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  trigger();
  return seen;
}

template <class T>
T* part(const QWidget& dialog, const char* name) {
  T* found = dialog.findChild<T*>(QString::fromLatin1(name));
  if (!found) qFatal("no control named %s", name);
  return found;
}

inline QStringList sent(const MainWindow& window) {
  QStringList statements;
  for (const std::string& sql : window.session().statementLog()) statements << QString::fromStdString(sql);
  return statements;
}

// What the structure command tests share: a window on a scratch copy, the
// scripted dialogs, and short ways to its controls. Test classes derive from
// it and call start() and stop() from init() and cleanup().
class StructureWindowTest : public QObject {
 protected:
  QTemporaryDir scratch;
  QString path;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  void start() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void stop() {
    window.reset();
    dialogs.reset();
  }
  // A scratch copy of `sample`, changed first by the `setup` statements,
  // opened in the window, with `table` shown when one is named.
  void show(const char* sample, const char* table, const QStringList& setup = {}) {
    path = scratchCopy(scratch, sample);
    {
      kevra::db::Connection connection;
      connection.Open(kevra::ui::kJetConnectionPrefix + path.toStdString());
      for (const QString& sql : setup) kevra::db::Recordset().Open(sql.toStdString(), connection);
    }
    (*dialogs)->messages.clear();
    openWith(*window, **dialogs, path);
    if (table) QVERIFY(clickTable(*window, table));
    QVERIFY(messages().isEmpty());
  }
  void press(const char* button) { control<QPushButton>(*window, button)->click(); }
  QComboBox* combo(const char* name) { return control<QComboBox>(*window, name); }
  QLineEdit* edit(const char* name) { return control<QLineEdit>(*window, name); }
  QCheckBox* check(const char* name) { return control<QCheckBox>(*window, name); }
  QListWidget* list(const char* name) { return control<QListWidget>(*window, name); }
  void setChecked(const char* listName, const QStringList& texts) {
    QListWidget* l = list(listName);
    for (int row = 0; row < l->count(); ++row)
      l->item(row)->setCheckState(texts.contains(l->item(row)->text()) ? Qt::Checked : Qt::Unchecked);
  }
  QStringList messages() const {
    QStringList texts;
    for (const auto& m : (*dialogs)->messages) texts << m.text;
    return texts;
  }
};
