// The About box: product name, version, web and e-mail links, an OK button.
#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class AboutBox;
}

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
  ~AboutBox() override;

  void OKButtonClick();
  void Label1Click();  // e-mail link
  void Label2Click();  // web link

  // The shell target each link opens.
  QString mailTarget() const;
  QString webTarget() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::AboutBox> ui;
};
