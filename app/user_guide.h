// The user guide (Help > Contents, F1): a window beside the main one showing
// the guide kept among the program's resources, with its links followed
// inside it. One guide window at a time; asking again brings it forward.
#pragma once
#include <QDialog>

class QTextBrowser;

namespace kevra::app {

class UserGuide : public QDialog {
  Q_OBJECT
 public:
  explicit UserGuide(QWidget* parent = nullptr);
  // The section headings of the guide, in order.
  QStringList sectionTitles() const;

 private:
  QTextBrowser* text_;
};

}  // namespace kevra::app
