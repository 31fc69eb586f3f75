#include "app/HelpWindow.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace velomire::app {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser(new QTextBrowser) {
    setWindowTitle(QStringLiteral("Velomire Help"));
    browser->setOpenExternalLinks(true);
    browser->setSearchPaths({QStringLiteral(":/docs")});
    QFile guide(QString::fromLatin1(guideResource));
    if (guide.open(QIODevice::ReadOnly)) {
        browser->setMarkdown(QString::fromUtf8(guide.readAll()));
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    resize(720, 640);
}

} // namespace velomire::app
