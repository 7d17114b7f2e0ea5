// Message boxes of the control panel.
#pragma once

#include <QMessageBox>
#include <QString>

namespace panel {

// Shows `text` modally over `owner` (null: no owner) under the product's
// title; the button pressed.
QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

}  // namespace panel
