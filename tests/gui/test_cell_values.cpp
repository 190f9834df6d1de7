// Cell values as people read them, in the desktop's locale, and editors that
// take back what the cells show as well as the ISO forms.
#include <QtTest>

#include "browse/records_values.h"
#include "database/ado_types.h"

using kevra::browse::displayText;
using kevra::browse::editText;
using kevra::browse::valueFromEditor;
namespace db = kevra::db;

namespace {
kevra::Value date(double serial) { return kevra::DateTime{serial}; }
std::string text(const kevra::Value& value) { return std::get<std::string>(value); }
kevra::Decimal decimal(bool negative, unsigned long long magnitude, uint8_t scale) {
  kevra::Decimal d;
  d.negative = negative;
  d.magnitude = magnitude;
  d.precision = 18;
  d.scale = scale;
  return d;
}
}  // namespace

class CellValuesTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { QLocale::setDefault(QLocale::system()); }

  void shownInTheLocale() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // 45322 is 2024-01-31; .5729166 is 13:45.
    QCOMPARE(displayText(date(45322), db::adDate), QStringLiteral("1/31/2024"));
    const QString afternoon = displayText(date(45322 + 13.75 / 24), db::adDate);
    QVERIFY2(afternoon.startsWith(QStringLiteral("1/31/2024 1:45")) && afternoon.endsWith(QStringLiteral("PM")),
             qPrintable(afternoon));
    QCOMPARE(displayText(kevra::Currency{12345678900}, db::adCurrency), QStringLiteral("1,234,567.89"));
    QCOMPARE(displayText(kevra::Currency{-15}, db::adCurrency), QStringLiteral("0.00"));  // no negative zero
    QCOMPARE(displayText(kevra::Currency{-50}, db::adCurrency), QStringLiteral("-0.01"));
    QCOMPARE(displayText(kevra::Currency{35000}, db::adCurrency), QStringLiteral("3.50"));
    QCOMPARE(displayText(decimal(true, 123456780, 4), db::adNumeric), QStringLiteral("-12,345.6780"));
    QCOMPARE(displayText(true, db::adBoolean), QString());  // the check box shows it
    // Serial numbers past the year 9999 or before the year 100 are no date.
    QCOMPARE(displayText(date(3000000), db::adDate), QStringLiteral("3000000 (date out of range)"));
    QVERIFY(displayText(date(-700000), db::adDate).endsWith(QStringLiteral("(date out of range)")));

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(displayText(date(45322), db::adDate), QStringLiteral("31.01.2024"));
    QCOMPARE(displayText(date(45322 + (13.75 + 10.0 / 3600) / 24), db::adDate), QStringLiteral("31.01.2024 13:45:10"));
    QCOMPARE(displayText(kevra::Currency{12345678900}, db::adCurrency), QStringLiteral("1.234.567,89"));
    QCOMPARE(displayText(decimal(false, 5, 2), db::adNumeric), QStringLiteral("0,05"));
  }

  void editorsTakeWhatIsShownAndIso() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(text(valueFromEditor(QStringLiteral("31.01.2024"), db::adDate)), std::string("2024-01-31 00:00:00"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("31.01.2024 13:45"), db::adDate)), std::string("2024-01-31 13:45:00"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("2024-01-31T13:45:10"), db::adDate)),
             std::string("2024-01-31 13:45:10"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1.234.567,89"), db::adCurrency)), std::string("1234567.89"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("-0,05"), db::adNumeric)), std::string("-0.05"));
    // Text that is no number of the locale goes to the engine as typed.
    QCOMPARE(text(valueFromEditor(QStringLiteral("lots"), db::adCurrency)), std::string("lots"));
    // An edit starts from every stored decimal.
    QCOMPARE(editText(kevra::Currency{12345}, db::adCurrency).toString(), QStringLiteral("1,2345"));
    QCOMPARE(editText(kevra::Currency{12300}, db::adCurrency).toString(), QStringLiteral("1,23"));

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1/31/2024"), db::adDate)), std::string("2024-01-31 00:00:00"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("2024-01-31"), db::adDate)), std::string("2024-01-31 00:00:00"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1,234.5"), db::adCurrency)), std::string("1234.5"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1234.5"), db::adCurrency)), std::string("1234.5"));
    QCOMPARE(displayText(444.555, db::adDouble), QStringLiteral("444.555"));
    // Round trip: what the cell shows, typed back, is the stored value.
    const kevra::Value stored = kevra::Currency{-98765432100};
    QCOMPARE(text(valueFromEditor(editText(stored, db::adCurrency), db::adCurrency)), std::string("-9876543.21"));
  }

  void everyDecimalTypeFollowsTheLocale() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(displayText(444.555, db::adDouble), QStringLiteral("444,555"));
    QCOMPARE(displayText(2.5f, db::adSingle), QStringLiteral("2,5"));
    QCOMPARE(displayText(-0.125, db::adDouble), QStringLiteral("-0,125"));
    QCOMPARE(editText(444.555, db::adDouble).toString(), QStringLiteral("444,555"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1,25"), db::adDouble)), std::string("1.25"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("-1,5"), db::adSingle)), std::string("-1.5"));
    // The ISO form with a point is still taken, as the engine writes it.
    QCOMPARE(text(valueFromEditor(QStringLiteral("444.555"), db::adDouble)), std::string("444.555"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1.25"), db::adSingle)), std::string("1.25"));
    // Round trip through what the cell shows.
    QCOMPARE(text(valueFromEditor(editText(444.555, db::adDouble), db::adDouble)), std::string("444.555"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("2,75"), db::adCurrency)), std::string("2.75"));

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(displayText(444.555, db::adDouble), QStringLiteral("444.555"));
    QCOMPARE(text(valueFromEditor(QStringLiteral("1.25"), db::adDouble)), std::string("1.25"));
  }
};

QTEST_APPLESS_MAIN(CellValuesTest)
#include "test_cell_values.moc"
