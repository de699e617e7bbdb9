#pragma once
// The window's own small dialogs: the Yes/No confirmation, the bad-sector
// question and About.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "platform/Prompter.h"

namespace ov::window {

// Dialog units of the dialog font, in pixels (a dialog unit is a quarter
// of the average character width across and an eighth of its height down).
QSize DialogUnits(const QWidget* w, int x, int y);

// Dialog 189: "Orlindavestrum for NSS", the question icon, the question,
// "&Yes" (default) and "&No".
class ConfirmDialog : public QDialog {
  Q_OBJECT
public:
  ConfirmDialog(const QString& question, QWidget* parent);
  QLabel* text() const { return text_; }
  QPushButton* yesButton() const { return yes_; }
  QPushButton* noButton() const { return no_; }
  // Shows the dialog; true for "&Yes".
  static bool Ask(const QString& question, QWidget* parent);

private:
  QLabel* text_;
  QPushButton* yes_;
  QPushButton* no_;
};

// "Bad Sector Encountered", 235 x 90 dialog units: the text, a separator and
// "Retry" (default), "Skip", "Retry All", "Skip All" along the bottom.
// Closing it answers Retry.
class BadSectorDialog : public QDialog {
  Q_OBJECT
public:
  explicit BadSectorDialog(QWidget* parent);
  BadSectorChoice choice() const { return choice_; }
  QPushButton* button(BadSectorChoice c) const { return buttons_[static_cast<int>(c)]; }

private:
  BadSectorChoice choice_ = BadSectorChoice::Retry;
  QPushButton* buttons_[4];
};

// Dialog 100, "About Orlindavestrum for NSS": the program icon, the name and
// version, the maker's lines and "OK".
class AboutDialog : public QDialog {
  Q_OBJECT
public:
  AboutDialog(const QIcon& icon, QWidget* parent);
};

}  // namespace ov::window
