#pragma once

#include <QDialog>

namespace velomire::app {

// "About Velomire": the application's icon, "Velomire Version 98.05" and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace velomire::app
