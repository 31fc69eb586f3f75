#pragma once

#include <QObject>

#include <functional>

namespace velomire::app {

// Calls `done` once, from the event loop, after the watched widget has painted for the first
// time (start-up time, screenshots).
class FirstPaint : public QObject {
    Q_OBJECT

public:
    FirstPaint(QWidget* watched, std::function<void()> done);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> done;
    bool seen = false;
};

} // namespace velomire::app
