// The small settings pages of the proxies (web and mail alike): a page of
// DWORD values (numbers, radio groups, switches) and buttons, laid out by a
// subclass with the Add functions in the order the values are read and
// written.
#pragma once

#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "common/setting_value.h"
#include "panel/framework/settings_page.h"

class QBoxLayout;

namespace panel {

// The IP version group of every proxy's page.
inline constexpr int kIpv4OnlyRadio = 1139;
inline constexpr int kIpv6OnlyRadio = 1140;
inline constexpr int kIpBothRadio = 1141;

class ValuePage : public SettingsPage {
    Q_OBJECT
public:
    bool SaveSettings() override;

protected:
    ValuePage(int templateId, QWidget* parent);
    void OnInitDialog() override;

    // A number edit with its label; `ranged`: 0 to 65535.
    void AddNumber(QBoxLayout* layout, int labelId, const char* label, int editId, const common::DwordValue& value,
                   NumberKind kind, bool ranged);
    // A port range: two ranged edits in one group.
    void AddPortRange(QBoxLayout* layout, const char* title, int startId, const common::DwordValue& startValue,
                      NumberKind startKind, int endId, const common::DwordValue& endValue, NumberKind endKind);
    // A radio group; the value is the index of the chosen button. A stored
    // value that no button stands for shows no button ticked and is saved
    // again unchanged until a button is chosen.
    void AddRadioGroup(QBoxLayout* layout, const char* title, std::vector<std::pair<int, const char*>> radios,
                       const common::DwordValue& value);
    // The IP version group ("IPv4のみ", "IPv6のみ", "併用").
    void AddIpVersion(QBoxLayout* layout, const common::DwordValue& value);
    // A check box stored as 0 or 1.
    void AddCheck(QBoxLayout* layout, int id, const char* text, const common::DwordValue& value);
    // A colour button that runs `action`.
    void AddButton(QBoxLayout* layout, int id, const char* text, std::function<void()> action);
    // The window text, from the string table; shown once the page opens.
    void SetTitleString(int stringId) { titleString_ = stringId; }

private:
    enum class Shape { Number, Radio, Check };
    struct Value {
        common::DwordValue value;
        Shape shape = Shape::Number;
        uint32_t number = 0;
        int choice = -1;      // the radio button, or the check box's 0 or 1
        uint32_t stored = 0;  // what was read or last written
        std::vector<int> ids;  // the edit, the radio buttons or the check box
        NumberKind kind = NumberKind::Unsigned;
        bool ranged = false;
    };
    std::deque<Value> values_;
    std::vector<std::pair<int, std::function<void()>>> buttons_;
    int titleString_ = 0;
};

}  // namespace panel
