// The start page's layout.
#include "browse/start_page.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kevra::browse {

StartPage::StartPage(QWidget* parent) : QWidget(parent) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(32, 32, 32, 32);
  auto* title = new QLabel(QStringLiteral("No database is open"), this);
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  title->setFont(big);
  outer->addWidget(title);
  auto* hint = new QLabel(QStringLiteral("Open an Access database (.mdb or .accdb) to browse and edit its tables, "
                                         "or create a new, empty one."),
                          this);
  hint->setWordWrap(true);
  outer->addWidget(hint);

  auto* buttons = new QHBoxLayout;
  auto* open = new QPushButton(QStringLiteral("Open a Database..."), this);
  open->setObjectName(QStringLiteral("startOpenButton"));
  auto* create = new QPushButton(QStringLiteral("Create a New Database..."), this);
  create->setObjectName(QStringLiteral("startCreateButton"));
  buttons->addWidget(open);
  buttons->addWidget(create);
  buttons->addStretch(1);
  outer->addLayout(buttons);
  connect(open, &QPushButton::clicked, this, &StartPage::openRequested);
  connect(create, &QPushButton::clicked, this, &StartPage::createRequested);

  outer->addSpacing(16);
  outer->addWidget(new QLabel(QStringLiteral("Recent files (double-click to open):"), this));
  recentList_ = new QListWidget(this);
  recentList_->setObjectName(QStringLiteral("recentFileList"));
  recentList_->setMaximumWidth(720);
  outer->addWidget(recentList_, 1);
  connect(recentList_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { emit recentFileChosen(item->data(Qt::UserRole).toString()); });
}

void StartPage::setRecentFiles(const QStringList& paths) {
  recentList_->clear();
  for (const QString& path : paths) {
    auto* item = new QListWidgetItem(QFileInfo(path).fileName() + QStringLiteral("  \u2014  ") + path, recentList_);
    item->setData(Qt::UserRole, path);
    item->setToolTip(path);
  }
  if (paths.isEmpty()) {
    auto* none = new QListWidgetItem(QStringLiteral("(none yet)"), recentList_);
    none->setFlags(Qt::NoItemFlags);
  }
}

}  // namespace kevra::browse
