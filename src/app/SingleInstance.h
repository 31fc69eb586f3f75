#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

namespace velomire::app {

// One application per user and graphical session: a program opened from the file manager while
// Velomire runs is handed to the running application (which opens it as if it had been dropped on
// its window) instead of starting a second one.
class SingleInstance : public QObject {
public:
    // The name of the local socket for this user and session, or `name` when given (tests).
    explicit SingleInstance(QString name = {}, QObject* parent = nullptr);

    // The socket of this user (by user id) on this display, in the user's runtime directory.
    static QString SessionName();

    // Hands the program file to a running application; true when one took it.
    bool SendToRunning(const QString& programFile, int timeoutMs = 1000);
    // Serves later starts: every program file they hand over reaches `open` on this thread.
    bool Listen(std::function<void(const QString&)> open);

    const QString& Name() const { return name; }

private:
    void Accept();

    QString name;
    QLocalServer server;
    std::function<void(const QString&)> open;
};

} // namespace velomire::app
