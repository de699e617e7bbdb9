#include "ui/help/HelpController.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTimer>

#include "ui/help/BalloonWindow.h"
#include "ui/help/MenuTip.h"

namespace ov {

namespace {

// Mode balloons close on every mouse button and on leaving the hover
// tolerance.
constexpr std::uint32_t kModeBalloonOptions = 0x7F;

}  // namespace

HelpController::HelpController(help::HelpTexts::Context context, QObject* parent)
    : QObject(parent),
      texts_(std::move(context)),
      idOf_([](const QAction* a) { return a->data().toInt(); }),
      promptOf_([](const QAction* a) { return a->statusTip(); }) {}

HelpController::~HelpController() = default;

BalloonWindow* HelpController::lastBalloon() const { return lastBalloon_.data(); }

void HelpController::Start() {
  if (!tip_) tip_ = std::make_unique<MenuTip>();
  texts_.Start();
  ApplyTicks();
}

void HelpController::SetItemInfo(IdOf idOf, PromptOf promptOf) {
  idOf_ = std::move(idOf);
  promptOf_ = std::move(promptOf);
}

void HelpController::AttachMenuBar(QMenuBar* bar) {
  // The bar's own titles all open menus. The bar also passes on the
  // hovering of the items inside its open menus: those are the menus' own
  // to tell, and must not hide the tip they have just shown.
  connect(bar, &QMenuBar::hovered, this, [this, bar](QAction* action) {
    if (bar->actions().contains(action)) MenuSelected(nullptr, nullptr);
  });
  for (QAction* action : bar->actions()) {
    if (QMenu* menu = action->menu()) AttachMenu(menu);
  }
}

void HelpController::AttachMenu(QMenu* menu) {
  connect(menu, &QMenu::hovered, this, [this, menu](QAction* action) { MenuSelected(menu, action); });
  connect(menu, &QMenu::aboutToHide, this, [this] {
    // A submenu closing while its parent stays open is no menu closing.
    QTimer::singleShot(0, this, [this] {
      if (!QApplication::activePopupWidget()) MenuClosed();
    });
  });
  for (QAction* action : menu->actions()) {
    if (QMenu* sub = action->menu()) AttachMenu(sub);
  }
}

void HelpController::SetLanguageActions(const std::array<QAction*, 4>& actions) {
  for (std::size_t i = 0; i < actions.size(); ++i) {
    languageActions_[i] = actions[i];
    if (!actions[i]) continue;
    actions[i]->setCheckable(true);
    const int command = help::kCmdDutch + static_cast<int>(i);
    connect(actions[i], &QAction::triggered, this, [this, command] { SetLanguage(command); });
  }
  ApplyTicks();
}

void HelpController::SetBalloonHelpAction(QAction* action) {
  balloonAction_ = action;
  if (!action) return;
  action->setCheckable(true);
  connect(action, &QAction::triggered, this, [this] { ToggleBalloonHelp(); });
  ApplyTicks();
}

void HelpController::SetModeButtons(const std::array<QAbstractButton*, 3>& buttons, SelectMode selectMode) {
  selectMode_ = std::move(selectMode);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    modeButtons_[i] = buttons[i];
    if (!buttons[i]) continue;
    buttons[i]->setMouseTracking(true);
    buttons[i]->installEventFilter(this);
  }
}

void HelpController::ApplyTicks() {
  const auto& ticks = texts_.language().ticked;
  for (std::size_t i = 0; i < languageActions_.size(); ++i) {
    if (languageActions_[i]) languageActions_[i]->setChecked(ticks[i]);
  }
  if (balloonAction_) balloonAction_->setChecked(texts_.balloonHelpOn());
}

void HelpController::SetLanguage(int command) {
  texts_.SetLanguage(command);
  ApplyTicks();
}

void HelpController::ToggleBalloonHelp() {
  texts_.ToggleBalloonHelp();
  ApplyTicks();
}

void HelpController::MenuSelected(QMenu* menu, QAction* action) {
  if (!tip_) return;
  const bool opensSubmenu = !menu || !action || action->menu() != nullptr;
  const int id = action ? idOf_(action) : 0;
  help::ItemRect rect;
  if (menu && action) {
    const QRect r(menu->mapToGlobal(menu->actionGeometry(action).topLeft()), menu->actionGeometry(action).size());
    rect = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  const std::string prompt = action ? promptOf_(action).toLatin1().toStdString() : std::string();
  const help::MenuTipDecision decision = texts_.MenuSelect(id, rect, prompt, opensSubmenu, false);
  switch (decision.kind) {
    case help::MenuTipDecision::Kind::Ignore:
    case help::MenuTipDecision::Kind::Nothing: return;
    case help::MenuTipDecision::Kind::Hide: tip_->HideTip(); return;
    case help::MenuTipDecision::Kind::Show:
      tip_->ShowTip(QPoint(decision.at.x, decision.at.y),
                    QString::fromLatin1(decision.text.data(), static_cast<qsizetype>(decision.text.size())));
      return;
  }
}

void HelpController::MenuClosed() {
  if (tip_ && texts_.MenuSelect(0, {}, {}, false, true).kind == help::MenuTipDecision::Kind::Hide) tip_->HideTip();
}

void HelpController::ModeMouseMove(help::Mode mode, QPoint globalPosition) {
  if (const auto text = texts_.ModeHover(mode)) {
    auto latin1 = [](const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); };
    lastBalloon_ = BalloonWindow::Launch(latin1(text->title), latin1(text->content), globalPosition,
                                         kModeBalloonOptions, globalPosition);
  }
  if (!selectMode_) return;  // the window selects the mode itself
  const auto index = static_cast<std::size_t>(static_cast<int>(mode) - 1);
  if (modeButtons_[index]) modeButtons_[index]->setChecked(true);
  for (std::size_t i = 0; i < modeButtons_.size(); ++i) {
    if (i != index && modeButtons_[i]) modeButtons_[i]->setChecked(false);
  }
  selectMode_(mode);
}

bool HelpController::eventFilter(QObject* watched, QEvent* event) {
  for (std::size_t i = 0; i < modeButtons_.size(); ++i) {
    if (watched != modeButtons_[i].data() || !watched) continue;
    const auto type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      return true;  // a press on a mode button is no click
    }
    if (type == QEvent::MouseMove) {
      ModeMouseMove(static_cast<help::Mode>(i + 1), static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
    }
    break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace ov
