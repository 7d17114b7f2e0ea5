#include "panel/framework/settings_page.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QLineEdit>
#include <QMenu>
#include <climits>
#include <memory>

#include "panel/framework/cp932_text.h"
#include "panel/framework/look.h"
#include "panel/framework/message_box.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/strings.h"

namespace panel {

SettingsPage::SettingsPage(int templateId, QWidget* parent) : QWidget(parent), templateId_(templateId) {
    MarkDialog(this);
}

void SettingsPage::Create(QWidget* settingsWindow) {
    setParent(settingsWindow);
    hide();
    setFont(DialogFont());
    SetBackground(this, kPageColor);
    BuildTemplate();
    OnInitDialog();
}

std::optional<SettingsPage::WriteFailure> SettingsPage::TakeWriteFailure() {
    auto failure = writeFailure_;
    writeFailure_.reset();
    return failure;
}

void SettingsPage::BindCheck(int id, int& field) {
    bindings_.push_back({[this, id, &field] {
                             if (auto* box = Control<QAbstractButton>(this, id)) field = box->isChecked() ? 1 : 0;
                             return true;
                         },
                         [this, id, &field] {
                             if (auto* box = Control<QAbstractButton>(this, id)) box->setChecked(field != 0);
                         }});
}

void SettingsPage::BindRadio(std::vector<int> ids, int& field) {
    bindings_.push_back({[this, ids, &field] {
                             field = -1;
                             for (size_t i = 0; i < ids.size(); ++i) {
                                 auto* radio = Control<QAbstractButton>(this, ids[i]);
                                 if (radio && radio->isChecked()) field = static_cast<int>(i);
                             }
                             return true;
                         },
                         [this, ids, &field] {
                             for (size_t i = 0; i < ids.size(); ++i)
                                 if (auto* radio = Control<QAbstractButton>(this, ids[i]))
                                     radio->setChecked(static_cast<int>(i) == field);
                         }});
}

void SettingsPage::BindNumber(int id, int& field, NumberKind kind, std::optional<Range> range) {
    bindings_.push_back({[this, id, &field, kind, range] {
                             auto* edit = Control<QLineEdit>(this, id);
                             int64_t value = 0;
                             if (!edit || !NumberFromText(id, edit->text(), kind, range, value)) return false;
                             field = static_cast<int>(static_cast<uint32_t>(value));
                             return true;
                         },
                         [this, id, &field, kind] {
                             if (auto* edit = Control<QLineEdit>(this, id))
                                 edit->setText(kind == NumberKind::Signed
                                                   ? QString::number(field)
                                                   : QString::number(static_cast<uint32_t>(field)));
                         }});
}

void SettingsPage::BindNumber(int id, uint32_t& field, NumberKind kind, std::optional<Range> range) {
    bindings_.push_back({[this, id, &field, kind, range] {
                             auto* edit = Control<QLineEdit>(this, id);
                             int64_t value = 0;
                             if (!edit || !NumberFromText(id, edit->text(), kind, range, value)) return false;
                             field = static_cast<uint32_t>(value);
                             return true;
                         },
                         [this, id, &field, kind] {
                             if (auto* edit = Control<QLineEdit>(this, id))
                                 edit->setText(kind == NumberKind::Signed
                                                   ? QString::number(static_cast<int32_t>(field))
                                                   : QString::number(field));
                         }});
}

namespace {

// A text too long for its edit shows its start, where the reader begins,
// unless the administrator is typing in it.
void ShowText(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    if (!edit->hasFocus()) edit->setCursorPosition(0);
}

}  // namespace

void SettingsPage::BindText(int id, QString& field) {
    bindings_.push_back({[this, id, &field] {
                             if (auto* edit = Control<QLineEdit>(this, id)) field = edit->text();
                             return true;
                         },
                         [this, id, &field] {
                             if (auto* edit = Control<QLineEdit>(this, id)) ShowText(edit, field);
                         }});
}

void SettingsPage::BindText(int id, QString& field, TextLimit limit) {
    if (limit.maxChars > 0) {
        if (auto* edit = Control<QLineEdit>(this, id)) {
            // Typing that would pass the limit is undone; shortening a longer
            // stored text is not.
            auto last = std::make_shared<QString>(edit->text());
            connect(edit, &QLineEdit::textChanged, edit, [edit, last, max = limit.maxChars](const QString& text) {
                if (text.size() > max && text.size() > last->size() && edit->isModified()) {
                    edit->setText(*last);
                    return;
                }
                *last = text;
            });
        }
    }
    bindings_.push_back({[this, id, &field, limit] {
                             auto* edit = Control<QLineEdit>(this, id);
                             if (!edit) return true;
                             if (!TextFits(id, edit->text(), limit)) return false;
                             field = edit->text();
                             return true;
                         },
                         [this, id, &field] {
                             if (auto* edit = Control<QLineEdit>(this, id)) ShowText(edit, field);
                         }});
}

bool SettingsPage::TextFits(int id, const QString& text, const TextLimit& limit) {
    if (limit.maxChars > 0 && text.size() > limit.maxChars) {
        Refuse(id, LoadString(61715).arg(limit.maxChars));
        return false;
    }
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            Refuse(id, QString::fromUtf8("制御文字は入力できません。"));
            return false;
        }
    }
    const std::string bytes = ToCp932(text);
    if (FromCp932(bytes) != text) {
        Refuse(id, QString::fromUtf8("Shift_JISで表せない文字は入力できません。"));
        return false;
    }
    if (limit.maxCp932Bytes > 0 && bytes.size() > static_cast<size_t>(limit.maxCp932Bytes)) {
        Refuse(id, LoadString(61715).arg(limit.maxCp932Bytes));
        return false;
    }
    if (limit.noLeadingBlank && (text.startsWith(u' ') || text.startsWith(QChar(0x3000)))) {
        Refuse(id, QString::fromUtf8("先頭に空白は入力できません。"));
        return false;
    }
    return true;
}

// As the dialog framework reads numbers: blanks around the digits are
// allowed, anything else is refused; a signed field takes a sign, an
// unsigned one does not. Numbers that do not fit 32 bits are refused too.
bool SettingsPage::NumberFromText(int id, const QString& text, NumberKind kind, std::optional<Range> range,
                                  int64_t& value) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    if (kind == NumberKind::Signed) {
        qlonglong number = trimmed.toLongLong(&ok, 10);
        ok = ok && number >= INT32_MIN && number <= INT32_MAX;
        value = number;
    } else {
        qulonglong number = trimmed.startsWith(u'-') || trimmed.startsWith(u'+') ? 0 : trimmed.toULongLong(&ok, 10);
        ok = ok && number <= UINT32_MAX;
        value = static_cast<int64_t>(number);
    }
    if (!ok) {
        Refuse(id, LoadString(kind == NumberKind::Signed ? 61712 : 61719));
        return false;
    }
    if (range && (value < range->min || value > range->max)) {
        Refuse(id, LoadString(61714).arg(range->min).arg(range->max));
        return false;
    }
    return true;
}

void SettingsPage::Refuse(int id, const QString& message) {
    emit InputRefused();
    ShowMessage(window(), message, QMessageBox::Warning);
    if (QWidget* control = FindControl(this, id)) control->setFocus();
}

bool SettingsPage::FieldsFromControls() {
    for (const Binding& binding : bindings_)
        if (!binding.fromControl()) return false;
    return true;
}

void SettingsPage::ControlsFromFields() {
    for (const Binding& binding : bindings_) binding.toControl();
}

void SettingsPage::KeepFailure(const char* name, long code) {
    if (!writeFailure_) writeFailure_ = WriteFailure{name, code};
}

bool SettingsPage::WriteDword(const char* name, uint32_t value) {
    LONG rc = RegWriteDword(kProductSettingsKey, name, value);
    if (rc != 0) KeepFailure(name, rc);
    return rc == 0;
}

bool SettingsPage::WriteString(const char* name, const QString& text) {
    LONG rc = RegWriteString(kProductSettingsKey, name, text.toStdString());
    if (rc != 0) KeepFailure(name, rc);
    return rc == 0;
}

void SettingsPage::AttachDeleteMenu(QAbstractItemView* view) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
        QMenu menu(window());
        menu.setObjectName(QStringLiteral("155"));
        QAction* remove = menu.addAction(QString::fromUtf8("削除(&D)"));
        remove->setObjectName(QString::number(kDeleteEntryButton));
        connect(remove, &QAction::triggered, this, &SettingsPage::DeleteEntryCommand);
        menu.exec(view->viewport()->mapToGlobal(at));
    });
}

}  // namespace panel
