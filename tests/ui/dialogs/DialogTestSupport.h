#pragma once
// Helpers for driving modal windows in tests: find the window that is up,
// press its buttons by text, wait for a condition while events run.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace ov::test {

// Runs events until `done` holds or `ms` have passed; answers `done`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// The push button of `window` whose text is `text`, or nothing.
inline QPushButton* Button(QWidget* window, const QString& text) {
  for (auto* b : window->findChildren<QPushButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

// Once a modal window of type W is up, calls `act` with it (from the event
// loop, so a caller blocked in exec() is answered).
template <typename W>
void WhenModal(std::function<void(W&)> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(*w);
    }
  });
  timer->start(10);
}

}  // namespace ov::test
