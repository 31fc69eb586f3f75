#include "ui/OkButtonRow.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace velomire::app {

QPushButton* MakeOkButton(QDialog& dialog) {
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    return ok;
}

QHBoxLayout* OkButtonRow(QPushButton* ok, QWidget* leading) {
    auto* row = new QHBoxLayout;
    if (leading != nullptr) {
        row->addWidget(leading);
    }
    row->addStretch();
    row->addWidget(ok);
    return row;
}

} // namespace velomire::app
