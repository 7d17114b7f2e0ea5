// The base of every settings page. A page is built from its template when
// the settings window creates it, reads its registry values and files then,
// and writes them in SaveSettings when the window saves all pages.
//
// A page class overrides BuildTemplate (its controls, each with its id as
// object name, laid out by Qt layouts), OnInitDialog (read values, bind and
// fill controls, attach colour buttons) and, when it has values,
// SaveSettings. List pages also override DeleteSelectedEntry and call
// AttachDeleteMenu on their list.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAbstractItemView;

namespace panel {

// The add and delete buttons of the list pages. The delete command of a
// list's context menu and the settings window's delete button have the
// delete button's id.
inline constexpr int kAddEntryButton = 1041;
inline constexpr int kDeleteEntryButton = 1042;

class SettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit SettingsPage(int templateId, QWidget* parent = nullptr);
    int TemplateId() const { return templateId_; }

    // Builds the template inside `settingsWindow` (hidden) and runs
    // OnInitDialog.
    void Create(QWidget* settingsWindow);

    // Reads the controls and writes the page's values. False when input
    // does not pass its check: the framework message was shown, the focus
    // is on the control, nothing after it was written.
    virtual bool SaveSettings() { return true; }
    // Reads the controls as SaveSettings would and writes nothing: false,
    // with the message shown, where SaveSettings would refuse. The window
    // checks every page so that a refusal leaves the settings all as they
    // were.
    virtual bool CheckSettings() { return FieldsFromControls(); }
    // List pages: removes the selected row of the list.
    virtual void DeleteSelectedEntry() {}

    // The first registry write that failed since the last call.
    struct WriteFailure {
        std::string value;
        long code = 0;
    };
    std::optional<WriteFailure> TakeWriteFailure();

signals:
    // The delete command from the list's context menu 155, for the window.
    void DeleteEntryCommand();
    // A control's input is refused: the window shows the page before the
    // message comes.
    void InputRefused();

protected:
    virtual void BuildTemplate() {}
    virtual void OnInitDialog() {}

    // Data exchange. Bindings run in the order they were made.
    enum class NumberKind { Signed, Unsigned, Unsigned32 };
    struct Range {
        int64_t min;
        int64_t max;
    };
    void BindCheck(int id, int& field);
    // A radio group: the field is the index of the checked id, -1 for none.
    void BindRadio(std::vector<int> ids, int& field);
    void BindNumber(int id, int& field, NumberKind kind, std::optional<Range> range = std::nullopt);
    void BindNumber(int id, uint32_t& field, NumberKind kind, std::optional<Range> range = std::nullopt);
    void BindText(int id, QString& field);
    // What a text may hold, checked when it is read from its edit: at most
    // maxChars characters (typing past them is also stopped, a longer
    // stored text still shows whole), at most maxCp932Bytes bytes once
    // converted for the files and the service (0: no limit), no character
    // CP932 lacks, no control character, and no leading blank when asked.
    struct TextLimit {
        int maxChars = 0;
        int maxCp932Bytes = 0;
        bool noLeadingBlank = false;
    };
    void BindText(int id, QString& field, TextLimit limit);
    // Fields from controls: stops at the first control that does not pass,
    // shows the framework message (61712, 61719, 61714), puts the focus on
    // it and returns false.
    bool FieldsFromControls();
    void ControlsFromFields();

    // Writes under the product settings key, keeping the first failure.
    bool WriteDword(const char* name, uint32_t value);
    bool WriteString(const char* name, const QString& text);

    // Context menu 155 ("削除(&D)", the delete command) on the list.
    void AttachDeleteMenu(QAbstractItemView* view);

private:
    struct Binding {
        std::function<bool()> fromControl;  // false: refused, message shown
        std::function<void()> toControl;
    };
    bool NumberFromText(int id, const QString& text, NumberKind kind, std::optional<Range> range, int64_t& value);
    bool TextFits(int id, const QString& text, const TextLimit& limit);
    void Refuse(int id, const QString& message);
    void KeepFailure(const char* name, long code);

    int templateId_;
    std::vector<Binding> bindings_;
    std::optional<WriteFailure> writeFailure_;
};

}  // namespace panel
