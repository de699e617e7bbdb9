#include "setup/LanguageStep.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/SetupTexts.h"

namespace ov::setup {

namespace {
QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
}  // namespace

LanguageStep::LanguageStep(QWidget* parent) : QDialog(parent), list_(new QComboBox(this)) {
  setWindowTitle(Q(kCaption));
  setObjectName(QStringLiteral("languageStep"));
  for (std::string_view language : kLanguages) list_->addItem(Q(language));
  list_->setCurrentIndex(0);
  list_->setObjectName(QStringLiteral("languageList"));

  auto* next = new QPushButton(Q(kNext), this);
  next->setObjectName(QStringLiteral("next"));
  next->setDefault(true);
  auto* exit = new QPushButton(Q(kExit), this);
  exit->setObjectName(QStringLiteral("exit"));
  connect(next, &QPushButton::clicked, this, &QDialog::accept);
  connect(exit, &QPushButton::clicked, this, [this] { done(Exit); });

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(Q(kSelectLanguage), this));
  row->addWidget(list_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(next);
  buttons->addWidget(exit);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  setMinimumWidth(320);
}

QString LanguageStep::Language() const { return list_->currentText(); }

}  // namespace ov::setup
