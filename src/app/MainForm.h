#pragma once
// The controls of the main window, each at its place in dialog units of the
// form's font (Arial 8 pt), on a panel-blue face. That is the form's default
// size; in a larger window the two lists take the extra room and every other
// control keeps its place beside the list it belongs to.
//
// Object names: a control with an ID is "ctl" plus the ID ("ctl1001" is the
// "Discovery" button, "ctl1094" a frame bar); the unnumbered ones are
// "discoveryGroup", "monitorGroup", "settingGroup", "discoveryTitle",
// "monitorTitle", "settingTitle" and "downArrow".

#include "controls/CStatic.h"
#include "controls/DialogUnits.h"
#include "controls/Pictures.h"
#include "controls/ReportList.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

namespace kestrel {

inline constexpr int IDC_DISCOVERY_LIST = 1000;
inline constexpr int IDC_DISCOVERY = 1001;
inline constexpr int IDC_ADD_TO_MONITOR = 1002;
inline constexpr int IDC_MONITOR_LIST = 1003;
inline constexpr int IDC_DELETE_ITEM = 1004;
inline constexpr int IDC_ADD_ITEM = 1005;
inline constexpr int IDC_TRAP_LAMP = 1006;
inline constexpr int IDC_VIEW_TRAP = 1007;
inline constexpr int IDC_PASSWORD_CHANGE = 1008;
inline constexpr int IDC_CONFIGURATION = 1009;
inline constexpr int IDC_WEB_ACCESS = 1015;
inline constexpr int IDC_FIRMWARE_UPGRADE = 1042;
inline constexpr int IDC_EXIT = 1053;
inline constexpr int IDC_DHCP_REFRESH = 1131;

// The dialog font of the main window and its smaller dialogs.
QFont ArialDialogFont();

// A control's place at the default size, and how far its edges follow a
// change of the form's size: quarters of the change in width (left, right)
// and in height (top, bottom).
struct FormPlacement {
    QWidget* widget;
    QRect base;
    int left, right, top, bottom;
};

struct FormBox;

class MainForm : public QWidget {
    Q_OBJECT
public:
    explicit MainForm(QWidget* parent);

    const DialogUnits& units() const { return units_; }
    ReportList& discoveryList() { return discovery_list_; }
    ReportList& monitorList() { return monitor_list_; }
    // The push button with this ID; nullptr when there is none.
    QPushButton* button(int id);
    QLabel& trapLamp() { return lamp_; }

    // Red lamp while new traps wait to be read, green otherwise.
    void SetTrapLamp(bool new_traps);

    // The form's own layout.
    QSize defaultSize() const { return default_size_; }
    QSize sizeHint() const override;

    static constexpr int kButtonCount = 11;
    static constexpr int kFrameBarCount = 18;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place(QWidget& widget, const FormBox& at);
    void MakeImage(QLabel& label, const FormBox& at, Picture picture, const QString& name,
                   const QString& accessible_name);

    DialogUnits units_;
    QSize default_size_;
    std::vector<FormPlacement> placements_;
    std::array<QGroupBox, 3> groups_;
    std::array<CStatic, kFrameBarCount> bars_;
    QLabel discovery_title_;
    ReportList discovery_list_;
    QLabel down_arrow_;
    QLabel monitor_title_;
    ReportList monitor_list_;
    QLabel lamp_;
    std::optional<bool> lamp_red_; // unset until first drawn
    QLabel setting_title_;
    std::array<QPushButton, kButtonCount> buttons_;
};

} // namespace kestrel
