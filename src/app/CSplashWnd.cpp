#include "app/CSplashWnd.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>

namespace velomire::app {

CSplashWnd::CSplashWnd(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint),
      picture(QStringLiteral(":/images/splash.png")) {
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    setFixedSize(picture.deviceIndependentSize().toSize());
    timer.setSingleShot(true);
    timer.setInterval(displayMs);
    connect(&timer, &QTimer::timeout, this, &CSplashWnd::HideSplashScreen);
    qApp->installEventFilter(this);
}

CSplashWnd* CSplashWnd::ShowSplashScreen(QWidget* owner) {
    auto* splash = new CSplashWnd(owner);
    splash->CenterOverOwner();
    splash->show();
    splash->repaint();
    return splash;
}

void CSplashWnd::CenterOverOwner() {
    QWidget* owner = parentWidget();
    QRect area;
    if (owner && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - rect().center());
    }
}

void CSplashWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer.start();
}

void CSplashWnd::HideSplashScreen() {
    if (hiding) {
        return;
    }
    hiding = true;
    timer.stop();
    qApp->removeEventFilter(this);
    emit hidden();
    close();
    if (QWidget* owner = parentWidget()) {
        owner->repaint();
    }
}

bool CSplashWnd::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Claim the key, so no shortcut fires on it; its key press then removes the splash.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        HideSplashScreen();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}

} // namespace velomire::app
