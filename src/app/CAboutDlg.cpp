#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace velomire::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Velomire"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/images/velomire.png")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(QStringLiteral("Velomire Version 98.05"), this);
    text->setObjectName(QStringLiteral("versionText"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* licence = new QLabel(QStringLiteral("Free software under the GNU General Public License, "
                                              "version 3 or later (GPL-3.0-or-later).\n"
                                              "It comes with absolutely no warranty."),
                               this);
    licence->setObjectName(QStringLiteral("licenceText"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0);
    layout->addWidget(text, 0, 1);
    layout->addWidget(licence, 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace velomire::app
