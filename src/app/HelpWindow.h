#pragma once

#include <QWidget>

class QTextBrowser;

namespace velomire::app {

// The user guide ("&Contents"): the Markdown guide shipped inside the application, with its
// screenshots, in a window of its own beside the main window.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* guideResource = ":/docs/user-guide.md";

    explicit HelpWindow(QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return browser; }

private:
    QTextBrowser* browser;
};

} // namespace velomire::app
