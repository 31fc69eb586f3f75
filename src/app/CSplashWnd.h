#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace velomire::app {

// The splash picture shown over the main window while it starts: a borderless window of the
// picture's size, centred over its owner, gone after 3000 ms or at the first key or mouse button
// press anywhere in the application. That press is consumed: it only removes the splash.
class CSplashWnd : public QWidget {
    Q_OBJECT

public:
    static constexpr int displayMs = 3000;

    // Shows the splash over `owner`; the window deletes itself when it hides.
    static CSplashWnd* ShowSplashScreen(QWidget* owner);

    void HideSplashScreen();

signals:
    void hidden();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    explicit CSplashWnd(QWidget* owner);
    void CenterOverOwner();

    QPixmap picture;
    QTimer timer;
    bool hiding = false;
};

} // namespace velomire::app
