#pragma once
// The window's help: menu tips, mode balloons, the help language and the
// balloon help switch. The window hands it its menu bar, the four language
// items (32860 .. 32863), the "&Show Balloon Help" item (32851) and the
// three mode buttons (1027 .. 1029); the controller keeps their ticks and
// answers their events. What it decides comes from the Qt-free HelpTexts.
//
// Menu items are known by a command id and a prompt: by default the id is
// the action's data() and the prompt its statusTip(); SetItemInfo changes
// that.

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

#include "platform/HelpTexts.h"

class QAbstractButton;
class QAction;
class QMenu;
class QMenuBar;

namespace ov {

class BalloonWindow;
class MenuTip;

class HelpController : public QObject {
  Q_OBJECT

public:
  using IdOf = std::function<int(const QAction*)>;
  using PromptOf = std::function<QString(const QAction*)>;
  using SelectMode = std::function<void(help::Mode)>;

  explicit HelpController(help::HelpTexts::Context context, QObject* parent = nullptr);
  ~HelpController() override;

  // Makes the menu tip window and reads the language (ticks included).
  void Start();

  void SetItemInfo(IdOf idOf, PromptOf promptOf);
  // Watches every menu of the bar, its submenus included.
  void AttachMenuBar(QMenuBar* bar);
  void AttachMenu(QMenu* menu);
  // Dutch, English, French, German; made checkable and ticked by the state.
  void SetLanguageActions(const std::array<QAction*, 4>& actions);
  // Made checkable, ticked while balloon help is on.
  void SetBalloonHelpAction(QAction* action);
  // Quick, Advance, Raw. A left press on them is swallowed; a mouse move
  // over one shows its balloon (while balloon help is on), ticks it, clears
  // the other two, then calls `selectMode` (the window sets the mode and
  // enables "&Next"). Without `selectMode` only the balloon is shown, for
  // windows whose buttons select their mode themselves.
  void SetModeButtons(const std::array<QAbstractButton*, 3>& buttons, SelectMode selectMode);

  // The commands, for windows that route them themselves.
  void SetLanguage(int command);
  void ToggleBalloonHelp();
  void MenuSelected(QMenu* menu, QAction* action);
  void MenuClosed();
  void ModeMouseMove(help::Mode mode, QPoint globalPosition);

  const help::HelpTexts& texts() const { return texts_; }
  MenuTip* menuTip() const { return tip_.get(); }
  // The balloon launched last, while it lives.
  BalloonWindow* lastBalloon() const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ApplyTicks();

  help::HelpTexts texts_;
  std::unique_ptr<MenuTip> tip_;
  IdOf idOf_;
  PromptOf promptOf_;
  std::array<QPointer<QAction>, 4> languageActions_{};
  QPointer<QAction> balloonAction_;
  std::array<QPointer<QAbstractButton>, 3> modeButtons_{};
  SelectMode selectMode_;
  QPointer<BalloonWindow> lastBalloon_;
};

}  // namespace ov
