// The kinds of small pages the SMTP and POP3 sections are made of: a proxy's
// on/off switch with its log switch (the shell's SwitchAndLogPage), a number
// of connections, one radio group, and a detail page whose buttons open list
// files. Each SMTP or POP3 page class is one of these with its ids, texts
// and value names.
#pragma once

#include <QString>
#include <vector>

#include "panel/framework/settings_page.h"
#include "panel/framework/switch_and_log_page.h"

namespace panel {

class ColorButton;

// The number of simultaneous connections, 0 to 65535.
class ConnectionCountPage : public SettingsPage {
    Q_OBJECT
public:
    struct Shape {
        int editId;
        int labelId;
        const char* valueName;
        NumberKind kind;
    };
    ConnectionCountPage(int templateId, QWidget* parent, Shape shape);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    Shape shape_;
    int count_ = 0;
};

// One value chosen by a radio group. A stored value that no button stands
// for shows no button ticked and is saved again unchanged until a button is
// chosen.
class RadioValuePage : public SettingsPage {
    Q_OBJECT
public:
    struct Choice {
        int id;
        const char* text;
    };
    struct Shape {
        const char* groupTitle;
        const char* valueName;
        std::vector<Choice> choices;
    };
    RadioValuePage(int templateId, QWidget* parent, Shape shape);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    Shape shape_;
    int stored_ = 0;
    int ticked_ = -1;
};

// A detail page: an optional window text, an optional switch stored in one
// value, and buttons that each open one list file of the data folder (made
// with its header first when missing).
class ListFileButtonsPage : public SettingsPage {
    Q_OBJECT
public:
    struct ListButton {
        int id;
        const char* text;
        const char* fileName;
    };
    struct Shape {
        int titleString;  // 0: none
        int switchId;     // 0: none
        const char* switchText;
        const char* switchValue;
        std::vector<ListButton> buttons;
    };
    ListFileButtonsPage(int templateId, QWidget* parent, Shape shape);
    bool SaveSettings() override;
    // The click on a list-file button.
    void OnEditList(const char* fileName);

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    Shape shape_;
    int switch_ = 0;
    std::vector<ColorButton*> buttons_;
};

}  // namespace panel
