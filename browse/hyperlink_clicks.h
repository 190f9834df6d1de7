// HyperlinkClicks: Ctrl+click on a hyperlink cell of the records grid opens
// the link's address with the desktop's handler for it (QDesktopServices);
// a plain click selects the cell as on any other.
#pragma once
#include <QObject>

class QTableView;

namespace kevra::browse {

class HyperlinkClicks : public QObject {
  Q_OBJECT
 public:
  // Watches `grid`, whose model gives RecordsModel::HyperlinkRole.
  explicit HyperlinkClicks(QTableView* grid);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTableView* grid_;
};

}  // namespace kevra::browse
