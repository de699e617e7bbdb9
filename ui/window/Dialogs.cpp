#include "ui/window/Dialogs.h"

#include "records/Contact.h"
#include "platform/Version.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/window/Ids.h"

namespace ov::window {

namespace {

QString Q(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

}  // namespace

QSize DialogUnits(const QWidget* w, int x, int y) {
  const QFontMetrics fm(w->font());
  const int base = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
  return {x * base / 4, y * fm.height() / 8};
}

ConfirmDialog::ConfirmDialog(const QString& question, QWidget* parent) : QDialog(parent) {
  setWindowTitle(Q(kConfirmTitle));
  setObjectName(QStringLiteral("189"));
  setModal(true);
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  text_ = new QLabel(question, this);
  text_->setWordWrap(false);
  yes_ = new QPushButton(QStringLiteral("&Yes"), this);
  no_ = new QPushButton(QStringLiteral("&No"), this);
  yes_->setDefault(true);
  yes_->setAutoDefault(true);
  connect(yes_, &QPushButton::clicked, this, &QDialog::accept);
  connect(no_, &QPushButton::clicked, this, &QDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(yes_);
  buttons->addWidget(no_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  // A line's room between the question and its buttons.
  layout->addSpacing(fontMetrics().height());
  layout->addLayout(buttons);
  setMinimumSize(DialogUnits(this, 231, 71));
  yes_->setFocus();
}

bool ConfirmDialog::Ask(const QString& question, QWidget* parent) {
  ConfirmDialog dialog(question, parent);
  return dialog.exec() == QDialog::Accepted;
}

BadSectorDialog::BadSectorDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Q(kBadSectorTitle));
  setModal(true);
  // The blanks around the text centre it; the field keeps the dialog's
  // width and lets the trailing blanks go past its edge.
  auto* text = new QLabel(Q(kBadSectorText), this);
  text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  static const char* const kTexts[] = {"Retry", "Skip", "Retry All", "Skip All"};
  auto* row = new QHBoxLayout;
  for (int i = 0; i < 4; ++i) {
    buttons_[i] = new QPushButton(QString::fromLatin1(kTexts[i]), this);
    row->addWidget(buttons_[i]);
    connect(buttons_[i], &QPushButton::clicked, this, [this, i] {
      choice_ = static_cast<BadSectorChoice>(i);
      accept();
    });
  }
  buttons_[0]->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text, 1);
  layout->addWidget(line);
  layout->addLayout(row);
  setFixedSize(DialogUnits(this, 235, 90));
}

AboutDialog::AboutDialog(const QIcon& icon, QWidget* parent) : QDialog(parent) {
  setWindowTitle(Q(kAboutTitle));
  setObjectName(QStringLiteral("100"));
  auto* picture = new QLabel(this);
  picture->setPixmap(icon.pixmap(48, 48));
  auto* name = new QLabel(QStringLiteral("<b>Orlindavestrum for NSS</b> (%1)").arg(QLatin1String(kVersion.data(), qsizetype(kVersion.size()))), this);
  // The maker lines name the same contacts as the Support commands.
  QString makerText = QStringLiteral(
      "File recovery for NetWare NSS pools and volumes.\n"
      "Reads the disk sector by sector and never writes to it.\n");
  for (std::string_view line : kAboutMakerLines)
    makerText += QLatin1Char('\n') + QString::fromUtf8(line.data(), qsizetype(line.size()));
  auto* maker = new QLabel(makerText, this);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* top = new QHBoxLayout;
  top->addWidget(picture, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->addWidget(name);
  texts->addWidget(maker);
  texts->addStretch();
  top->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(ok);
  setFixedSize(DialogUnits(this, 235, 185).expandedTo(layout->sizeHint()));
}

}  // namespace ov::window
