#include "ui/dialogs/SettingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <functional>


namespace ov {

namespace {

QString Latin(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// A group of radio buttons, the one at `checked` set.
template <std::size_t N>
QGroupBox* RadioGroup(const QString& title, const std::string_view (&texts)[N], int checked, bool enabled,
                      const QString& name, QObject* owner, std::function<void(int)> clicked = {}) {
  auto* box = new QGroupBox(title);
  box->setObjectName(name);
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(owner);
  for (std::size_t i = 0; i < N; ++i) {
    auto* radio = new QRadioButton(Latin(texts[i]));
    radio->setEnabled(enabled);
    radio->setChecked(static_cast<int>(i) == checked);
    group->addButton(radio, static_cast<int>(i));
    layout->addWidget(radio);
  }
  if (clicked) QObject::connect(group, &QButtonGroup::idClicked, owner, clicked);
  return box;
}

}  // namespace

SettingsDialog::SettingsDialog(SaveSettings& settings, Prompter& prompter, QWidget* parent)
    : QDialog(parent), editor_(std::make_unique<SettingsEditor>(settings, prompter)) {
  setWindowTitle(QStringLiteral("Settings"));
  auto* apply = new QPushButton(QStringLiteral("&Apply"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  apply->setObjectName(QStringLiteral("apply"));
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  apply->setDefault(true);
  connect(apply, &QPushButton::clicked, this, [this] {
    editor_->Apply();
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(DeletedGroup());
  left->addWidget(DatesGroup());
  left->addWidget(SavingModeGroup());
  auto* right = new QVBoxLayout;
  right->addWidget(ExtensionsGroup(), 1);
  right->addWidget(SelectionGroup());
  right->addWidget(HashesGroup());
  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(apply);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(buttons);
}

SettingsDialog::~SettingsDialog() = default;

QWidget* SettingsDialog::DeletedGroup() {
  return RadioGroup(QString(), kDeletedFilterTexts, static_cast<int>(editor_->working().deletedFilter), false,
                    QStringLiteral("deleted"), this);
}

QWidget* SettingsDialog::SavingModeGroup() {
  return RadioGroup(QStringLiteral("Saving Mode"), kSavingModeTexts, static_cast<int>(editor_->working().savingMode),
                    false, QStringLiteral("savingMode"), this);
}

QWidget* SettingsDialog::SelectionGroup() {
  return RadioGroup(QString(), kSelectionModeTexts, static_cast<int>(editor_->working().selectionMode), true,
                    QStringLiteral("selectionMode"), this,
                    [this](int id) { editor_->SetSelectionMode(static_cast<SelectionMode>(id)); });
}

QWidget* SettingsDialog::HashesGroup() {
  // Each ticked kind writes its manifest (MD5SUMS, SHA1SUMS, SHA256SUMS)
  // into the destination, for md5sum -c and its kin.
  auto* box = new QGroupBox(QStringLiteral("Hash Manifests"));
  box->setObjectName(QStringLiteral("hashes"));
  auto* row = new QHBoxLayout(box);
  const char* texts[] = {"MD5", "SHA-1", "SHA-256"};
  for (std::size_t k = 0; k < editor_->working().hashes.size(); ++k) {
    auto* tick = new QCheckBox(QLatin1String(texts[k]));
    tick->setChecked(editor_->working().hashes[k]);
    connect(tick, &QCheckBox::toggled, this, [this, k](bool on) { editor_->SetHash(k, on); });
    row->addWidget(tick);
  }
  return box;
}

std::array<QComboBox*, 3> SettingsDialog::DateRow(const QString& name, int yearRows, int day, int month, int year) {
  std::array<QComboBox*, 3> lists{new QComboBox, new QComboBox, new QComboBox};
  for (int d = 1; d <= kDayRows; ++d) lists[0]->addItem(QStringLiteral("%1").arg(d, 2, 10, QLatin1Char('0')));
  for (int m = 1; m <= kMonthRows; ++m) lists[1]->addItem(QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')));
  for (int y = 0; y < yearRows; ++y) lists[2]->addItem(QString::number(kFirstListYear + y));
  const int rows[] = {day, month, year};
  const char* parts[] = {"Day", "Month", "Year"};
  for (std::size_t i = 0; i < lists.size(); ++i) {
    lists[i]->setObjectName(name + QLatin1String(parts[i]));
    lists[i]->setCurrentIndex(rows[i]);
    connect(lists[i], &QComboBox::currentIndexChanged, this, &SettingsDialog::DatesChanged);
  }
  return lists;
}

QWidget* SettingsDialog::DatesGroup() {
  const SaveSettings& w = editor_->working();
  auto* box = new QGroupBox(QStringLiteral("File Updated"));
  auto* grid = new QGridLayout(box);
  earlier_ = DateRow(QStringLiteral("earlier"), kEarlierYearRows, w.earlierDay, w.earlierMonth, w.earlierYear);
  after_ = DateRow(QStringLiteral("after"), kAfterYearRows, w.afterDay, w.afterMonth, w.afterYear);
  const std::pair<const char*, std::array<QComboBox*, 3>*> rows[] = {{"Earlier", &earlier_}, {"After", &after_}};
  int row = 0;
  for (const auto& [label, lists] : rows) {
    grid->addWidget(new QLabel(QLatin1String(label)), row, 0);
    grid->addWidget((*lists)[0], row, 1);
    grid->addWidget(new QLabel(QStringLiteral("/")), row, 2);
    grid->addWidget((*lists)[1], row, 3);
    grid->addWidget(new QLabel(QStringLiteral("/")), row, 4);
    grid->addWidget((*lists)[2], row, 5);
    ++row;
  }
  grid->addWidget(new QLabel(QStringLiteral("DD")), row, 1, Qt::AlignHCenter);
  grid->addWidget(new QLabel(QStringLiteral("MM")), row, 3, Qt::AlignHCenter);
  grid->addWidget(new QLabel(QStringLiteral("YYYY")), row, 5, Qt::AlignHCenter);
  return box;
}

void SettingsDialog::DatesChanged() {
  editor_->SetEarlier(earlier_[0]->currentIndex(), earlier_[1]->currentIndex(), earlier_[2]->currentIndex());
  editor_->SetAfter(after_[0]->currentIndex(), after_[1]->currentIndex(), after_[2]->currentIndex());
}

QWidget* SettingsDialog::ExtensionsGroup() {
  auto* box = new QGroupBox(QStringLiteral("Select Extensions ( Ex:- DOC, XLS)"));
  edit_ = new QLineEdit;
  edit_->setObjectName(QStringLiteral("extension"));
  list_ = new QListWidget;
  list_->setObjectName(QStringLiteral("extensions"));
  auto* add = new QPushButton(QStringLiteral("&Add "));
  add->setObjectName(QStringLiteral("add"));
  add->setAutoDefault(false);
  remove_ = new QPushButton(QStringLiteral("&Remove"));
  remove_->setObjectName(QStringLiteral("remove"));
  remove_->setAutoDefault(false);
  connect(add, &QPushButton::clicked, this, &SettingsDialog::Add);
  connect(remove_, &QPushButton::clicked, this, &SettingsDialog::Remove);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { editor_->SelectRow(row); });
  auto* grid = new QGridLayout(box);
  grid->addWidget(edit_, 0, 0);
  grid->addWidget(add, 0, 1);
  grid->addWidget(list_, 1, 0, 2, 1);
  grid->addWidget(remove_, 1, 1, Qt::AlignTop);
  ShowList();
  return box;
}

void SettingsDialog::ShowList() {
  const QSignalBlocker quiet(list_);
  list_->clear();
  for (const auto& entry : editor_->listBox()) list_->addItem(Latin(entry));
  list_->setCurrentRow(editor_->selectedRow());
  remove_->setEnabled(editor_->removeEnabled());
}

void SettingsDialog::Add() {
  // Extensions are compared with the disk's 8-bit names.
  editor_->editText = edit_->text().toLatin1().toStdString();
  const bool added = editor_->Add();
  if (!added) return;  // a refused text stays in the field
  edit_->clear();
  ShowList();
  edit_->setFocus();
}

void SettingsDialog::Remove() {
  editor_->Remove();
  ShowList();
}

}  // namespace ov
