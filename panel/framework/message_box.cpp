#include "panel/framework/message_box.h"

#include "panel/framework/look.h"
#include "panel/framework/strings.h"

namespace panel {

QMessageBox::StandardButton ShowMessage(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, LoadString(102), text, buttons, owner);
    box.setFont(DialogFont());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace panel
