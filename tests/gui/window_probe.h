// Helpers for driving the real main window in tests: finding its controls by
// object name, choosing files through the scripted dialogs, clicking tree
// nodes and choosing combo entries the way a user does.
#pragma once
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include "ui/error_display.h"
#include "app/main_window.h"
#include "browse/records_page.h"
#include "browse/structure_page.h"
#include "scripted_dialogs.h"

using kevra::app::MainWindow;

// The window keeps settings (the recent files); each test program keeps its
// own, apart from the user's and from other tests running at the same time.
struct TestSettingsFolder {
  QTemporaryDir folder;
  TestSettingsFolder() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path()); }
};
inline const TestSettingsFolder kTestSettings;

template <class T>
T* control(const MainWindow& window, const char* name) {
  T* found = window.findChild<T*>(QString::fromLatin1(name));
  if (!found) qFatal("no control named %s", name);
  return found;
}

inline QAction* action(const MainWindow& window, const char* name) { return control<QAction>(window, name); }
inline bool menuEnabled(const MainWindow& window, const char* name) {
  return control<QMenu>(window, name)->menuAction()->isEnabled();
}

inline QStringList treeTexts(const MainWindow& window) {
  QStringList texts;
  auto* tree = control<QTreeWidget>(window, "tableTree");
  for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
  return texts;
}

inline void openWith(MainWindow& window, ScriptedDialogs& dialogs, const QString& path) {
  dialogs.fileAnswers << path;
  action(window, "openAction")->trigger();
}

// Clicks the tree node with `text` with the mouse; false when there is none.
inline bool clickTable(MainWindow& window, const QString& text) {
  auto* tree = control<QTreeWidget>(window, "tableTree");
  const auto found = tree->findItems(text, Qt::MatchExactly);
  if (found.isEmpty()) return false;
  tree->scrollToItem(found.first());
  const QRect rect = tree->visualItemRect(found.first());
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
  return true;
}

// Chooses an entry of a drop-down list as a user does (fires `activated`).
inline bool choose(QComboBox* combo, const QString& text) {
  const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) return false;
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  return true;
}

inline QStringList itemTexts(const QComboBox* combo) {
  QStringList texts;
  for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  return texts;
}

inline QStringList itemTexts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

inline QStringList checkedTexts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->checkState() == Qt::Checked) texts << list->item(i)->text();
  return texts;
}
