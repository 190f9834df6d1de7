// The About box: product name, version, a web and an e-mail link, an OK
// button. The links are the addresses the build names (empty, and hidden,
// when it names none). A fresh box is made for every showing.
#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class AboutBox;
}

namespace kevra::app {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
  ~AboutBox() override;

  void openMailLink();
  void openWebLink();

  // The target each link opens; empty for a link the build gives none.
  QString mailTarget() const;
  QString webTarget() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::AboutBox> form_;
};

}  // namespace kevra::app
