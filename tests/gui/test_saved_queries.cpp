// Saved queries in the window: their node below the tables, the SQL page of
// a clicked query, a select query's rows read-only in the grid, and action
// queries shown but never run.
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "browse/query_page.h"
#include "browse/records_model.h"
#include "database/catalog.h"
#include "ui/database_session.h"
#include "window_probe.h"

class SavedQueriesTest : public QObject {
  Q_OBJECT
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;

  void open(const char* sample) {
    openWith(*window, **dialogs, samplePath(sample));
    QVERIFY((*dialogs)->messages.isEmpty());
  }
  QTreeWidget* tree() { return control<QTreeWidget>(*window, "tableTree"); }
  QTreeWidgetItem* queriesNode() {
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
      if (tree()->topLevelItem(i)->text(0) == QStringLiteral("Queries")) return tree()->topLevelItem(i);
    return nullptr;
  }
  // Clicks the query node named `name` with the mouse.
  bool clickQuery(const QString& name) {
    QTreeWidgetItem* node = queriesNode();
    if (!node) return false;
    for (int i = 0; i < node->childCount(); ++i) {
      if (node->child(i)->text(0) != name) continue;
      tree()->scrollToItem(node->child(i));
      QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(node->child(i)).center());
      return true;
    }
    return false;
  }
  bool tabShown(const char* page) {
    auto* pages = control<QTabWidget>(*window, "pages");
    return pages->isTabVisible(pages->indexOf(control<QWidget>(*window, page)));
  }
  static QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
  }

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    window = std::make_unique<MainWindow>();
    window->resize(1000, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
  }

  void queriesAreListedBelowTheTables() {
    open("querytestv2000.mdb");
    const QStringList top = treeTexts(*window);
    QCOMPARE(top.last(), QStringLiteral("Queries"));
    for (const char* table : {"Table1", "Table2", "Table3"}) QVERIFY2(top.contains(table), table);
    QTreeWidgetItem* node = queriesNode();
    QVERIFY(node && node->isExpanded());
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i) names << node->child(i)->text(0);
    names.sort();
    QCOMPARE(names, (QStringList{"AppendQuery", "CrosstabQuery", "DataDefinitionQuery", "DeleteQuery",
                                 "MakeTableQuery", "PassthroughQuery", "SelectQuery", "UnionQuery", "UpdateQuery"}));
    // The heading is not something to show.
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(node).center());
    QVERIFY(!control<QTabWidget>(*window, "pages")->isVisible());

    // A file without saved queries has no such node.
    action(*window, "closeAction")->trigger();
    open("testv2000.mdb");
    QVERIFY(!treeTexts(*window).contains("Queries"));
  }

  void selectQueryShowsItsSqlAndItsRowsReadOnly() {
    open("accesslike.mdb");
    QVERIFY(clickQuery("q_like2"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QCOMPARE(window->queryPage()->sqlText(), QStringLiteral("SELECT Campo2\nFROM t_like2\nWHERE Campo2 LIKE \"d*#\";"));
    QVERIFY(tabShown("recordsPage"));
    QVERIFY(tabShown("queryPage"));
    QVERIFY(!tabShown("structurePage"));
    QCOMPARE(control<QTabWidget>(*window, "pages")->currentWidget()->objectName(), QStringLiteral("recordsPage"));
    QCOMPARE(window->statusText(), samplePath("accesslike.mdb") + " -> q_like2");

    // "d*#": a d first and a digit last: of "ddd" and "dd1" only the second.
    kevra::browse::RecordsModel* model = window->recordsPage()->model();
    QCOMPARE(model->columnCount(), 1);
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("dd1"));

    // Read-only: no cell is editable, the navigator cannot insert, and the
    // commands on a table are off.
    QVERIFY(!window->recordsPage()->dataset().CanModify());
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));
    QVERIFY(!model->setData(model->index(0, 0), QStringLiteral("zz9"), Qt::EditRole));
    for (const char* name : {"renameTableAction", "dropTableAction", "exportAction", "deleteRecordAction",
                             "clearFieldAction", "filterBySelectionAction"})
      QVERIFY2(!action(*window, name)->isEnabled(), name);
    QVERIFY(action(*window, "findAction")->isEnabled());

    // A table clicked afterwards is editable again, with its structure page.
    QVERIFY(clickTable(*window, "t_like2"));
    QVERIFY(tabShown("structurePage"));
    QVERIFY(!tabShown("queryPage"));
    QVERIFY(window->recordsPage()->dataset().CanModify());
    QCOMPARE(window->recordsPage()->model()->rowCount(), 2);
  }

  void everySelectAndUnionQueryOfTheSamplesShowsItsRows() {
    int shown = 0;
    for (const QString& name : QDir(samplePath("")).entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name)) {
      if (name.contains(QStringLiteral("password"))) continue;
      openWith(*window, **dialogs, samplePath(name.toUtf8().constData()));
      QVERIFY2((*dialogs)->messages.isEmpty(), qPrintable(name));
      for (const kevra::db::Query& query : window->session().catalog().Queries()) {
        if (query.Kind() != "Select" && query.Kind() != "Union") continue;
        const QString label = name + QStringLiteral(": ") + QString::fromStdString(query.Name());
        QVERIFY2(clickQuery(QString::fromStdString(query.Name())), qPrintable(label));
        QVERIFY2((*dialogs)->messages.isEmpty(),
                 qPrintable(label + QStringLiteral(": ") + (*dialogs)->messages.value(0).text));
        QVERIFY2(tabShown("recordsPage"), qPrintable(label));
        QVERIFY2(window->recordsPage()->dataset().Active(), qPrintable(label));
        ++shown;
      }
      action(*window, "closeAction")->trigger();
    }
    QVERIFY(shown >= 3);
    // The union query keeps the text it was stored with on its SQL page.
    open("querytestv2000.mdb");
    QVERIFY(clickQuery(QStringLiteral("UnionQuery")));
    QVERIFY(window->queryPage()->sqlText().startsWith(QStringLiteral("Select Table1.col1, Table1.col2\nwhere")));
    QCOMPARE(window->recordsPage()->model()->columnCount(), 2);
  }

  void actionQueriesAreShownNotRun() {
    const QString path = samplePath("querytestv2000.mdb");
    const QByteArray before = digest(path);
    open("querytestv2000.mdb");
    for (const char* name : {"UpdateQuery", "AppendQuery", "DeleteQuery", "MakeTableQuery", "DataDefinitionQuery",
                             "PassthroughQuery", "CrosstabQuery"}) {
      QVERIFY2(clickQuery(name), name);
      QVERIFY2((*dialogs)->messages.isEmpty(), name);
      QVERIFY2(!tabShown("recordsPage"), name);
      QCOMPARE(control<QTabWidget>(*window, "pages")->currentWidget()->objectName(), QStringLiteral("queryPage"));
      QVERIFY2(window->queryPage()->kindText().contains("shown, not run"), name);
      QVERIFY2(!window->recordsPage()->dataset().Active(), name);
    }
    QVERIFY(clickQuery("UpdateQuery"));
    QCOMPARE(window->queryPage()->sqlText(),
             QStringLiteral("PARAMETERS [User Name] Text;\nUPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = "
                            "[Table2].[col3], [Table2].[col1] = [User Name]\nWHERE ((([Table2].[col1]) Is Not Null));"));
    QCOMPARE(window->queryPage()->kindText().left(12), QStringLiteral("Update query"));
    QVERIFY(clickQuery("DataDefinitionQuery"));
    QCOMPARE(window->queryPage()->sqlText(), QStringLiteral("CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"));

    // The select query of the same file opens (no rows: its tables are empty).
    QVERIFY(clickQuery("SelectQuery"));
    QVERIFY((*dialogs)->messages.isEmpty());
    QVERIFY(window->recordsPage()->dataset().Active());
    QCOMPARE(window->recordsPage()->model()->rowCount(), 0);
    action(*window, "closeAction")->trigger();
    QCOMPARE(digest(path), before);  // nothing was written
  }
};

QTEST_MAIN(SavedQueriesTest)
#include "test_saved_queries.moc"
