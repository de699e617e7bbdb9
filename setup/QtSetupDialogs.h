#pragma once
// The installer's message boxes as Qt message boxes, application-modal.
// A call from another thread (the install thread) is carried out on the
// thread of the `owner` object while the caller waits.

#include <QObject>

#include "setup/SetupController.h"

namespace ov::setup {

class QtSetupDialogs : public QObject, public SetupDialogs {
  Q_OBJECT
public:
  explicit QtSetupDialogs(QObject* parent = nullptr) : QObject(parent) {}
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowError(const std::string& text, const std::string& caption) override;
  void ShowInformation(const std::string& text, const std::string& caption) override;

private:
  template <typename F>
  void OnOwnThread(F&& work);
};

}  // namespace ov::setup
