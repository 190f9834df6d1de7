// Help menu: the About box and the documentation page.
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "app/about_box.h"
#include "app/form1.h"

void Form1::AboutKevra1Click() {
  AboutBox box(this);  // a fresh box every time, gone when its modal run ends
  box.exec();
}

void Form1::Readme1Click() {
  // The result is not examined: a missing page or viewer shows nothing.
  QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().filePath(QStringLiteral("kevra.htm"))));
}
