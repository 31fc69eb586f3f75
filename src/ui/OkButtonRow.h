#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace velomire::app {

// The "OK" button of the application's dialogs: named "okButton", the default button, accepting
// the dialog (through its own accept() when it overrides it).
QPushButton* MakeOkButton(QDialog& dialog);

// A row with `ok` at its right end and `leading`, when given, at its left end.
QHBoxLayout* OkButtonRow(QPushButton* ok, QWidget* leading = nullptr);

} // namespace velomire::app
