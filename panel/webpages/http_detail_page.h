// The HTTP proxy's "接続制限" page: the list-file buttons (admission,
// white and black lists, URI blocklist zones, forbidden words), the content
// rating levels with their switch, and the presets, three of which write
// the kids filter record.
#pragma once

#include <QString>

#include "panel/framework/settings_page.h"

class QComboBox;

namespace panel {

class Chttpdlg : public SettingsPage {
    Q_OBJECT
public:
    explicit Chttpdlg(int templateId = 137, QWidget* parent = nullptr);
    bool SaveSettings() override;
    // Nothing on this page is refused.
    bool CheckSettings() override { return true; }

    // Check box 1043; also at the end of the opening and after preset 0.
    void OnPicsLabelClicked();
    // A preset chosen in combo box 1011.
    void OnPresetSelChange();

    // The preset texts in list order.
    static QString PresetText(int item);

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    struct Level {
        const char* value;
        int field;
        uint32_t stored;
    };
    void SetLevels(int nudity, int sex, int violence, int language, int other, int communication);
    // The preset the combo box shows, -1 for none or typed text.
    int SelectedPreset() const;

    QComboBox* preset_ = nullptr;
    // In the order the page exchanges them: language, nudity, other,
    // sexual content, violence, communication.
    Level levels_[6] = {{"pics_language", 4, 4},   {"pics_nude", 4, 4},     {"pics_other", 3, 3},
                        {"pics_sex", 4, 4},        {"pics_violence", 4, 4}, {"pics_communication", 2, 2}};
    int picsUse_ = 0;
};

}  // namespace panel
