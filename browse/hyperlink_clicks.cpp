// Opening a hyperlink cell's address on Ctrl+click.
#include "browse/hyperlink_clicks.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QTableView>
#include <QUrl>

#include "browse/records_model.h"

namespace kevra::browse {

HyperlinkClicks::HyperlinkClicks(QTableView* grid) : QObject(grid), grid_(grid) {
  grid_->viewport()->installEventFilter(this);
}

bool HyperlinkClicks::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonRelease) return QObject::eventFilter(watched, event);
  const auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & Qt::ControlModifier)) return false;
  const QModelIndex cell = grid_->indexAt(mouse->position().toPoint());
  const QString address = cell.data(RecordsModel::HyperlinkRole).toString();
  if (address.isEmpty()) return false;
  // "www.example.com" and file paths become the links they stand for.
  QDesktopServices::openUrl(QUrl::fromUserInput(address));
  return false;
}

}  // namespace kevra::browse
