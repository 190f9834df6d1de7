// The saved query's kind line and statement text.
#include "browse/query_page.h"

#include <QFontDatabase>

#include "ui_query_page.h"

namespace kevra::browse {

QueryPage::QueryPage(QWidget* parent) : QWidget(parent), form_(std::make_unique<Ui::QueryPage>()) {
  form_->setupUi(this);
  form_->queryText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

QueryPage::~QueryPage() = default;

void QueryPage::showQuery(const db::Query& query, bool opensRows) {
  const QString kind = QString::fromStdString(query.Kind());
  QString line = kind + QStringLiteral(" query");
  if (!query.Problem().empty())
    line += QStringLiteral(": ") + QString::fromStdString(query.Problem());
  else if (opensRows)
    line += QStringLiteral(": its rows are on the Records page, read-only.");
  else if (query.ReturnsRows())
    line += QStringLiteral(": shown, not run (crosstab queries and queries that ask for parameters are not run "
                           "here yet).");
  else
    line += QStringLiteral(": it changes the database, so it is shown, not run.");
  form_->queryKindLabel->setText(line);
  form_->queryText->setPlainText(QString::fromStdString(query.CommandText()));
}

void QueryPage::clear() {
  form_->queryKindLabel->clear();
  form_->queryText->clear();
}

QString QueryPage::kindText() const { return form_->queryKindLabel->text(); }

QString QueryPage::sqlText() const { return form_->queryText->toPlainText(); }

}  // namespace kevra::browse
