#include "app/FirstPaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace velomire::app {

FirstPaint::FirstPaint(QWidget* watched, std::function<void()> done)
    : QObject(watched), done(std::move(done)) {
    watched->installEventFilter(this);
}

bool FirstPaint::eventFilter(QObject* watched, QEvent* event) {
    if (!seen && event->type() == QEvent::Paint) {
        seen = true;
        watched->removeEventFilter(this);
        // Queued, so the paint itself has finished when `done` runs.
        QTimer::singleShot(0, this, [this] { done(); });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace velomire::app
