// Form1's construction and command map: which handler each menu item,
// control event and model signal runs, and the window-wide helpers the
// handlers share (menu states, status panel, detail visibility).
#include "app/form1.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <stdexcept>

#include "app/error_display.h"
#include "browse/records_model.h"
#include "ui_form1.h"

static void initKevraResources() { Q_INIT_RESOURCE(kevra); }

using kevra::ui::FileDialogKind;

Form1::Form1(QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Form1>()),
      OpenDialog1(FileDialogKind::Open, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb|All Files (*.*)|*.*"),
                  QStringLiteral("c:\\")),
      SaveDialog1(FileDialogKind::Save, QStringLiteral("Microsoft Access Database (*.mdb)|*.mdb")),
      OpenDialog2(FileDialogKind::Open,
                  QStringLiteral("Access Database (*.mdb)|*.mdb|Paradox Table (*.db)|*.db|Excel Spreadsheet "
                                 "(*.xls)|*.xls|HTML File (*.htm,*.html)|*.htm;*.html|Text File "
                                 "(*.txt,*.csv)|*.txt;*.csv|dBase Table (*.dbf)|*.dbf")) {
  initKevraResources();
  ui->setupUi(this);
  for (QAction* separator : {ui->N2, ui->N3, ui->N1}) separator->setSeparator(true);

  statusPanel_ = new QLabel(ui->StatusBar1);
  statusPanel_->setObjectName(QStringLiteral("StatusPanel1"));
  ui->StatusBar1->addWidget(statusPanel_, 1);

  ui->Splitter2->setStretchFactor(0, 0);
  ui->Splitter2->setStretchFactor(1, 1);
  ui->Splitter2->setSizes({145, width() - 147});

  DataSource1 = new kevra::browse::RecordsModel(this);
  DataSource1->setObjectName(QStringLiteral("DataSource1"));
  DataSource1->setDataSet(&ADOTable1);
  ui->DBGrid1->setModel(DataSource1);
  ui->DBGrid1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);

  connectCommands();
  kevra::ui::runCommand(this, [this] { FormCreate(); });
}

Form1::~Form1() {
  DataSource1->setDataSet(nullptr);  // the model outlives the dataset member
}

void Form1::connectCommands() {
  const auto command = [this](auto handler) {
    return [this, handler] { kevra::ui::runCommand(this, [this, handler] { (this->*handler)(); }); };
  };
  connect(ui->VTac, &QAction::triggered, this, command(&Form1::VTacClick));
  connect(ui->vtkapat, &QAction::triggered, this, command(&Form1::vtkapatClick));
  connect(ui->k1, &QAction::triggered, this, command(&Form1::k1Click));
  connect(ui->AboutKevra1, &QAction::triggered, this, command(&Form1::AboutKevra1Click));
  connect(ui->Readme1, &QAction::triggered, this, command(&Form1::Readme1Click));
  connect(ui->TreeView1, &QTreeWidget::itemClicked, this, command(&Form1::TreeView1Click));
  // `activated` fires for a choice by the user only, never for programmatic selection.
  connect(ui->ComboBox1, &QComboBox::activated, this, command(&Form1::ComboBox1Change));
  connect(ui->ComboBox2, &QComboBox::activated, this, command(&Form1::ComboBox2Change));
  connect(ui->ComboBox3, &QComboBox::activated, this, command(&Form1::ComboBox3Change));
  ui->Edit2->installEventFilter(this);
  connect(DataSource1, &kevra::browse::RecordsModel::fetchFailed, this, [this](const QString& message) {
    kevra::ui::showError(this, std::runtime_error(message.toStdString()));
  });
  connectRecordEditing();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->Edit2 && event->type() == QEvent::MouseButtonPress && ui->Edit2->isEnabled())
    kevra::ui::runCommand(this, [this] { Edit2Click(); });
  return QMainWindow::eventFilter(watched, event);
}

void Form1::k1Click() {
  close();
  QCoreApplication::quit();
}

void Form1::setDatabaseMenus(bool open) {
  ui->VTac->setEnabled(!open);
  ui->vtkapat->setEnabled(open);
  ui->YeniVT->setEnabled(!open);
  ui->Compact1->setEnabled(!open);
  ui->Veritaban1->setEnabled(open);
  ui->Import1->setEnabled(open);
  if (open) {
    // Table commands wait for a table click; Close leaves them as they were.
    ui->RenameTable1->setEnabled(false);
    ui->abloSil1->setEnabled(false);
    ui->Exportto1->setEnabled(false);
  }
}

QString Form1::statusText() const { return statusPanel_->text(); }

void Form1::setStatusText(const QString& text) { statusPanel_->setText(text); }

void Form1::hideFieldDetails() {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Label1, ui->Label2, ui->Label3, ui->Label4, ui->Label7,
                                                   ui->Label8, ui->Edit1, ui->Edit3, ui->ComboBox2, ui->Edit2,
                                                   ui->CheckBox1, ui->Button4, ui->ComboBox4})
    w->hide();
}

void Form1::hideIndexDetails() {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Label5, ui->Label6, ui->CheckBox2, ui->RxCheckListBox1})
    w->hide();
}

const kevra::db::Table& Form1::selectedTable() const {
  return context_.catalog->Tables().Item(context_.selectedTableIndex);
}
