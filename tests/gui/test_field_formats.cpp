// Field formats and hyperlinks in the records grid, on a private copy of a
// sample: a field's Format property decides the cell text, editing still
// starts from the plain value, a hyperlink shows its display text and opens
// its address on Ctrl+click. Also the user guide of the Help menu.
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "app/user_guide.h"
#include "browse/records_model.h"
#include "database/catalog.h"
#include "database/connection.h"
#include "database/recordset.h"
#include "window_probe.h"

using kevra::browse::RecordsModel;

// Receives the addresses QDesktopServices is asked to open.
class OpenedLinks : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

class FieldFormatsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedDialogs::Scope> dialogs;
  std::unique_ptr<MainWindow> window;
  QTemporaryDir scratch;

  RecordsModel* model() const { return window->recordsPage()->model(); }
  QTableView* grid() const { return control<QTableView>(*window, "recordsGrid"); }
  int fieldColumn(const char* name) const { return int(model()->fieldNames().indexOf(QString::fromLatin1(name))); }
  QString shown(int row, const char* field) const { return model()->index(row, fieldColumn(field)).data().toString(); }

  // A copy of testaccess2_2000.mdb with formats and values set through the
  // database objects, as another program would have left them.
  QString preparedCopy() {
    const QString path = scratch.filePath(QStringLiteral("formats.mdb"));
    QFile::remove(path);
    if (!QFile::copy(samplePath("testaccess2_2000.mdb"), path)) qFatal("cannot copy the sample");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    kevra::db::Connection connection;
    connection.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path.toStdString());
    {
      kevra::db::Catalog catalog;
      catalog.ActiveConnection(connection);
      kevra::db::Table& table = catalog.Tables().Item("Table1");
      table.Columns().Item("CurrencyField").SetProperty("Format", std::string("$#,##0.00"));
      table.Columns().Item("DateField").SetProperty("Format", std::string("Long Date"));
      table.Columns().Item("NumberField").SetProperty("Format", std::string("0.0%"));
    }
    kevra::db::Recordset change;
    change.Open("UPDATE Table1 SET CurrencyField = 1234.5, "
                "HyperLinkField = 'Example site#http://example.com/page#part#' WHERE ID = 1",
                connection);
    connection.Close();
    return path;
  }

 private slots:
  void init() {
    dialogs = std::make_unique<ScriptedDialogs::Scope>();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    window = std::make_unique<MainWindow>();
    window->resize(1100, 500);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  void cleanup() {
    window.reset();
    dialogs.reset();
    QLocale::setDefault(QLocale::system());
  }

  void formatsDecideTheCellText() {
    const QString path = preparedCopy();
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    QCOMPARE(shown(0, "CurrencyField"), QStringLiteral("$1,234.50"));
    QCOMPARE(shown(0, "DateField"), QStringLiteral("Wednesday, June 24, 2015"));
    QCOMPARE(shown(0, "NumberField"), QStringLiteral("300.0%"));
    QCOMPARE(shown(0, "HyperLinkField"), QStringLiteral("Example site"));
    QCOMPARE(shown(0, "YesNoField"), QString());  // "Yes/No": the check box alone
    // Editing shows the plain value, and the edit is stored as typed.
    const QModelIndex money = model()->index(0, fieldColumn("CurrencyField"));
    QCOMPARE(money.data(Qt::EditRole).toString(), QStringLiteral("1,234.50"));
    QCOMPARE(model()->index(0, fieldColumn("HyperLinkField")).data(Qt::EditRole).toString(),
             QStringLiteral("Example site#http://example.com/page#part#"));
    // Copy takes the plain value too, so a paste reads it back.
    grid()->setCurrentIndex(money);
    action(*window, "copyCellsAction")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1,234.50"));
    QVERIFY(model()->setData(money, QStringLiteral("-2.5")));
    QVERIFY(model()->post() >= 0);
    QCOMPARE(shown(0, "CurrencyField"), QStringLiteral("-$2.50"));

    grid()->scrollTo(money);
    grid()->setCurrentIndex(money);
    QCoreApplication::processEvents();
    const QString shot = QDir::temp().filePath(QStringLiteral("kevra-field-formats.png"));
    window->grab().save(shot);

    // A table shown without formats shows plain values again.
    QVERIFY(clickTable(*window, QStringLiteral("Table2")));
    QCOMPARE(shown(0, "LongDateTime"), QStringLiteral("Monday, June 29, 2015"));  // the file's own Long Date
  }

  void ctrlClickOpensAHyperlink() {
    const QString path = preparedCopy();
    openWith(*window, **dialogs, path);
    QVERIFY(clickTable(*window, QStringLiteral("Table1")));
    OpenedLinks links;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &links, "open");
    const QModelIndex link = model()->index(0, fieldColumn("HyperLinkField"));
    grid()->scrollTo(link);
    grid()->setCurrentIndex(model()->index(1, fieldColumn("HyperLinkField")));
    QCoreApplication::processEvents();
    window->grab().save(QDir::temp().filePath(QStringLiteral("kevra-hyperlink.png")));
    const QPoint where = grid()->visualRect(link).center();
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, where);
    QVERIFY(links.urls.isEmpty());  // a plain click only selects
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, where);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(links.urls.size(), 1);
    QCOMPARE(links.urls.first().toString(), QStringLiteral("http://example.com/page#part"));
    // Cells of other fields open nothing.
    QCOMPARE(model()->index(0, fieldColumn("ShortTextField")).data(RecordsModel::HyperlinkRole).toString(), QString());
  }

  void f1OpensTheUserGuide() {
    QTest::keyClick(window.get(), Qt::Key_F1);
    auto* guide = window->findChild<kevra::app::UserGuide*>(QStringLiteral("userGuide"));
    QVERIFY(guide);
    QVERIFY(guide->isVisible());
    guide->grab().save(QDir::temp().filePath(QStringLiteral("kevra-user-guide.png")));
    const QStringList sections = guide->sectionTitles();
    for (const char* title : {"Opening files", "Browsing and editing rows", "Structure", "Import and export",
                              "Compact, create and upsize", "Command line"})
      QVERIFY2(sections.contains(QString::fromLatin1(title)), title);
    QVERIFY(guide->findChild<QTextBrowser*>(QStringLiteral("guideText"))->toPlainText().contains(
        QStringLiteral("Ctrl+click")));
    // Asking again brings the same guide forward.
    action(*window, "contentsAction")->trigger();
    QCOMPARE(window->findChildren<kevra::app::UserGuide*>().size(), 1);
  }
};

QTEST_MAIN(FieldFormatsTest)
#include "test_field_formats.moc"
