#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace velomire::app {

QString SingleInstance::SessionName() {
#ifdef Q_OS_UNIX
    const QString user = QString::number(getuid());
#else
    const QString user = qEnvironmentVariable("USERNAME");
#endif
    // The graphical session: the platform and its display (an X display, a Wayland socket).
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    QString session = QGuiApplication::platformName() + QLatin1Char('-') + display;
    for (QChar& c : session) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('.')) {
            c = QLatin1Char('_');
        }
    }
    QString name = QStringLiteral("velomire-%1-%2").arg(user, session);
#ifdef Q_OS_UNIX
    // In the user's own runtime directory, out of other users' reach.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) {
        return QDir(runtime).filePath(name);
    }
#endif
    return name;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name(name.isEmpty() ? SessionName() : std::move(name)) {}

bool SingleInstance::SendToRunning(const QString& programFile, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    // One line per request: the absolute path (resolved here, where it was given), UTF-8.
    socket.write(QFileInfo(programFile).absoluteFilePath().toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    // The running application answers once it has the path, so a start that hands it over
    // never quits before the request has arrived.
    return socket.waitForReadyRead(timeoutMs) && socket.readAll().startsWith("ok");
}

bool SingleInstance::Listen(std::function<void(const QString&)> openFile) {
    // Another Velomire already serves this name (a second one started without a file): leave it
    // its socket. Asked first, because listening with access options replaces a socket file.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(200)) {
        return false;
    }
    open = std::move(openFile);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::Accept);
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (server.listen(name)) {
        return true;
    }
    // A socket left behind by an application that ended without closing it.
    QLocalServer::removeServer(name);
    return server.listen(name);
}

void SingleInstance::Accept() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QString path = QString::fromUtf8(socket->readLine()).trimmed();
            socket->write("ok\n");
            socket->flush();
            if (!path.isEmpty() && open) {
                open(path);
            }
        });
    }
}

} // namespace velomire::app
