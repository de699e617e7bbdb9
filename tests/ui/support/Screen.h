#pragma once
// Drives a window as a person does: the pointer goes to a place on the
// screen, and whatever widget lies there gets the click, as
// QApplication::widgetAt finds it; menus open from the menu bar's titles;
// keys go to the widget that has the focus. A click that would land on
// another widget than the one meant fails the test, with the widget that
// was hit named: a control covered by another cannot be clicked.

#include <QAbstractItemView>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <utility>

namespace ov::test {

class Screen {
public:
  using Answer = std::function<bool(QWidget* modal)>;

  Screen() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* up = QApplication::activeModalWidget();
      if (up && !answers_.empty() && answers_.front()(up)) answers_.pop_front();
    });
    timer_.start(10);
  }

  // The modal windows still expected.
  bool answered() const { return answers_.empty(); }
  // Answers the next modal window that comes up; the answer says whether it
  // was the one it waited for.
  Screen& WhenModal(Answer a) {
    answers_.push_back(std::move(a));
    return *this;
  }

  static QString Name(QWidget* w) {
    if (!w) return QStringLiteral("nothing");
    return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
  }

  // The middle of what can be seen of `w`, on the screen.
  static QPoint Middle(QWidget* w) {
    const QRect seen = w->visibleRegion().boundingRect();
    return w->mapToGlobal(seen.isEmpty() ? w->rect().center() : seen.center());
  }

  // Waits until the window of `w` stands still where a person sees it. On
  // a real X server a window is on the screen a little after it is shown,
  // and a window manager then frames it and moves it into place, one event
  // after another: a point taken before that would miss. So the window must
  // be exposed and keep the same place on the screen for a few turns of the
  // event loop.
  static ::testing::AssertionResult Placed(QWidget* w) {
    if (!w || !w->isVisible()) return ::testing::AssertionFailure() << Name(w).toStdString() << " is not shown";
    QWidget* top = w->window();
    if (!QTest::qWaitForWindowExposed(top, 3000)) {
      return ::testing::AssertionFailure() << Name(top).toStdString() << " never came on the screen";
    }
    // Offscreen no window manager moves anything.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return ::testing::AssertionSuccess();
    auto place = [top] { return std::pair(top->frameGeometry(), top->mapToGlobal(QPoint(0, 0))); };
    auto last = place();
    for (int still = 0, turns = 0; still < 3 && turns < 200; ++turns) {
      QTest::qWait(10);
      const auto now = place();
      still = now == last ? still + 1 : 0;
      last = now;
    }
    return ::testing::AssertionSuccess();
  }

  // Whether the pointer at `global` reaches `w` (or a widget inside it).
  // The point must have been taken once the window was `Placed`.
  static ::testing::AssertionResult Reaches(QWidget* w, QPoint global) {
    if (auto r = Placed(w); !r) return r;
    QWidget* hit = QApplication::widgetAt(global);
    if (hit && (hit == w || w->isAncestorOf(hit))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the pointer on " << Name(w).toStdString() << " reaches "
                                         << Name(hit).toStdString();
  }

  // A click (or double click) at `global` on whatever lies there.
  static void ClickAt(QPoint global, Qt::MouseButton button = Qt::LeftButton, bool twice = false,
                      Qt::KeyboardModifiers keys = {}) {
    QWidget* hit = QApplication::widgetAt(global);
    if (!hit) return;
    const QPoint local = hit->mapFromGlobal(global);
    QTest::mouseMove(hit, local);
    if (twice) {
      // A person's double click: a click, then the second press.
      QTest::mouseClick(hit, button, keys, local);
      QTest::mouseDClick(hit, button, keys, local);
    } else {
      QTest::mouseClick(hit, button, keys, local);
    }
  }

  // Clicks `w` where a person would, after checking that it is what lies
  // under the pointer there.
  static ::testing::AssertionResult Click(QWidget* w, Qt::MouseButton button = Qt::LeftButton) {
    if (auto r = Placed(w); !r) return r;
    const QPoint at = Middle(w);
    if (auto r = Reaches(w, at); !r) return r;
    ClickAt(at, button);
    return ::testing::AssertionSuccess();
  }

  // Clicks the row of `index` in a list or tree; `twice` double-clicks.
  // `keys` are held down meanwhile (Ctrl or Shift to pick several).
  static ::testing::AssertionResult ClickItem(QAbstractItemView* view, const QModelIndex& index, bool twice = false,
                                              Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers keys = {}) {
    if (!view || !index.isValid()) return ::testing::AssertionFailure() << "no such item";
    if (auto ok = Placed(view); !ok) return ok;
    view->scrollTo(index);
    const QRect r = view->visualRect(index);
    const QPoint at = view->viewport()->mapToGlobal(QPoint(r.left() + std::min(r.width() / 2, 40), r.center().y()));
    if (auto ok = Reaches(view->viewport(), at); !ok) return ok;
    ClickAt(at, button, twice, keys);
    return ::testing::AssertionSuccess();
  }

  // Clicks the check box in front of an item's text.
  static ::testing::AssertionResult ClickCheck(QAbstractItemView* view, const QModelIndex& index) {
    if (!view || !index.isValid()) return ::testing::AssertionFailure() << "no such item";
    if (auto ok = Placed(view); !ok) return ok;
    view->scrollTo(index);
    const QRect r = view->visualRect(index);
    // The check box is the first thing drawn in the cell.
    const int side = view->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, view);
    const QPoint at = view->viewport()->mapToGlobal(QPoint(r.left() + 3 + side / 2, r.center().y()));
    if (auto ok = Reaches(view->viewport(), at); !ok) return ok;
    ClickAt(at);
    return ::testing::AssertionSuccess();
  }

  // Opens the menus along `path` from the bar's titles and clicks the last
  // item, as a person does: "Options", "Save Later", "Load Log". Texts are
  // compared without their '&'.
  static ::testing::AssertionResult Menu(QMenuBar* bar, const QStringList& path) {
    if (!bar || path.isEmpty()) return ::testing::AssertionFailure() << "no menu bar";
    QAction* title = Find(bar->actions(), path.front());
    if (!title) return ::testing::AssertionFailure() << "no menu " << path.front().toStdString();
    if (auto ok = Placed(bar); !ok) return ok;
    const QPoint at = bar->mapToGlobal(bar->actionGeometry(title).center());
    if (auto ok = Reaches(bar, at); !ok) return ok;
    ClickAt(at);
    QMenu* open = title->menu();
    for (int i = 1; i < path.size(); ++i) {
      if (!open || !open->isVisible()) return ::testing::AssertionFailure() << path[i - 1].toStdString() << " did not open";
      QAction* item = Find(open->actions(), path[i]);
      if (!item) return ::testing::AssertionFailure() << "no item " << path[i].toStdString();
      if (!item->isEnabled()) return ::testing::AssertionFailure() << path[i].toStdString() << " is grayed";
      if (auto ok = Placed(open); !ok) return ok;
      const QPoint p = open->mapToGlobal(open->actionGeometry(item).center());
      if (auto ok = Reaches(open, p); !ok) return ok;
      if (i + 1 < path.size()) {
        // A submenu opens when the pointer rests on its item.
        QTest::mouseMove(open, open->mapFromGlobal(p));
        ClickAt(p);
        QTest::qWait(10);
        open = item->menu();
      } else {
        ClickAt(p);
      }
    }
    return ::testing::AssertionSuccess();
  }

  // The pointer comes to rest on `w`, as a person moves it there.
  static ::testing::AssertionResult Hover(QWidget* w) {
    if (auto r = Placed(w); !r) return r;
    const QPoint at = Middle(w);
    if (auto r = Reaches(w, at); !r) return r;
    // The pointer comes from outside the widget, as a hand moves it there:
    // a pointer already resting on it would bring no news.
    QWidget* top = w->window();
    QTest::mouseMove(top, QPoint(1, 1));
    Settle([w] { return !w->underMouse(); });
    QWidget* hit = QApplication::widgetAt(at);
    QTest::mouseMove(hit, hit->mapFromGlobal(at));
    // On a real X server the pointer's news come back from the server.
    if (!Settle([w] { return w->underMouse(); })) {
      return ::testing::AssertionFailure() << "the pointer never came to " << Name(w).toStdString();
    }
    return ::testing::AssertionSuccess();
  }

  // A key to the widget that has the focus (or to `to`).
  static void Key(int key, Qt::KeyboardModifiers modifiers = {}, QWidget* to = nullptr) {
    QWidget* target = to ? to : QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    if (target) QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
  }
  static void Type(const QString& text) {
    if (QWidget* target = QApplication::focusWidget()) QTest::keyClicks(target, text);
  }

  // Lets events come in until `done` or a second has passed.
  static bool Settle(const std::function<bool()>& done) {
    for (int i = 0; i < 100 && !done(); ++i) QTest::qWait(10);
    return done();
  }

  static QString Plain(QString text) { return text.remove(QLatin1Char('&')).trimmed(); }

private:
  static QAction* Find(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions) {
      if (Plain(a->text()) == Plain(text)) return a;
    }
    return nullptr;
  }

  QTimer timer_;
  std::deque<Answer> answers_;
};

}  // namespace ov::test
