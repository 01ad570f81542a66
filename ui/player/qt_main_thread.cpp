#include "ui/player/qt_main_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <exception>

namespace kestrel {

bool QtMainThread::IsMainThread() const {
  return QCoreApplication::instance() &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

void QtMainThread::CallInMainThread(const std::function<void()>& call) {
  if (IsMainThread() || !QCoreApplication::instance()) {
    call();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        try {
          call();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

void QtMainThread::ProcessPendingCalls(std::chrono::milliseconds max_wait) {
  if (!IsMainThread()) {
    QThread::msleep(static_cast<unsigned long>(max_wait.count()));
    return;
  }
  // The timer bounds the wait for the next event.
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(static_cast<int>(max_wait.count()));
  QCoreApplication::processEvents(max_wait.count() > 0 ? QEventLoop::WaitForMoreEvents
                                                       : QEventLoop::AllEvents);
}

}  // namespace kestrel
