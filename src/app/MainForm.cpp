#include "MainForm.h"

#include "controls/ColourScheme.h"
#include "controls/Pictures.h"

namespace kestrel {

namespace {

struct Box {
    int x, y, width, height;
};

struct ButtonDef {
    int id;
    const char* label;
    Box at;
};

// In tab order.
constexpr std::array<ButtonDef, MainForm::kButtonCount> kButtons = {{
    {IDC_DISCOVERY, "Discovery", {370, 118, 73, 12}},
    {IDC_ADD_TO_MONITOR, "Add to monitor list", {179, 136, 72, 12}},
    {IDC_VIEW_TRAP, "View trap", {47, 266, 72, 12}},
    {IDC_ADD_ITEM, "Add item", {283, 266, 72, 12}},
    {IDC_DELETE_ITEM, "Delete item", {367, 266, 73, 12}},
    {IDC_CONFIGURATION, "Configuration setting", {26, 299, 72, 12}},
    {IDC_PASSWORD_CHANGE, "Password change", {110, 299, 72, 12}},
    {IDC_FIRMWARE_UPGRADE, "Firmware upgrade", {199, 299, 72, 12}},
    {IDC_WEB_ACCESS, "Web access", {284, 299, 72, 12}},
    {IDC_DHCP_REFRESH, "DHCP Refresh", {368, 299, 73, 12}},
    {IDC_EXIT, "Exit", {367, 327, 72, 12}},
}};

struct BarDef {
    int id;
    Box at;
};

// Empty grey bars that join lists, buttons and group boxes into panels.
constexpr std::array<BarDef, MainForm::kFrameBarCount> kFrameBars = {{
    {1094, {17, 118, 353, 12}},
    {1095, {17, 12, 9, 113}},
    {1096, {17, 8, 427, 8}},
    {1097, {443, 8, 9, 122}},
    {1099, {17, 152, 10, 125}},
    {1100, {18, 152, 423, 8}},
    {1101, {119, 266, 163, 12}},
    {1102, {355, 266, 12, 12}},
    {1105, {38, 266, 9, 12}},
    {1106, {440, 152, 9, 126}},
    {1107, {17, 291, 432, 8}},
    {1108, {17, 311, 432, 9}},
    {1109, {17, 299, 9, 13}},
    {1110, {98, 298, 12, 13}},
    {1111, {182, 298, 17, 13}},
    {1112, {271, 298, 13, 13}},
    {1113, {441, 298, 8, 13}},
    {1103, {355, 299, 13, 12}},
}};

constexpr std::array<Box, 3> kGroups = {
    {{15, 3, 438, 128}, {15, 147, 435, 132}, {15, 285, 436, 36}}};

QString ControlName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

void Place(QWidget& widget, QWidget& parent, const DialogUnits& units, const Box& at) {
    widget.setParent(&parent);
    PlaceAt(widget, units, at.x, at.y, at.width, at.height);
}

void SetPicture(QLabel& label, Picture picture) {
    label.setPixmap(RenderPicture(picture, label.size()));
}

// An image-only control, named for assistive technology.
void MakeImage(QLabel& label, QWidget& parent, const DialogUnits& units, const Box& at,
               Picture picture, const QString& name, const QString& accessible_name) {
    Place(label, parent, units, at);
    label.setObjectName(name);
    label.setAccessibleName(accessible_name);
    SetPicture(label, picture);
}

} // namespace

QFont ArialDialogFont() {
    // Drawn with a metric-compatible face where Arial itself is absent.
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

MainForm::MainForm(QWidget* parent)
    : QWidget(parent), units_([this] {
          setFont(ArialDialogFont());
          return DialogUnits(font());
      }()) {
    setObjectName(QStringLiteral("mainForm"));
    setFixedSize(units_.ToPixels(468, 351));
    QPalette face = palette();
    face.setColor(QPalette::Window, colours::kPanelBlue);
    setPalette(face);
    setAutoFillBackground(true);

    // Stacking follows the order children join the form: group boxes at the
    // bottom, then the bars, then everything that sits on them.
    const char* group_names[] = {"discoveryGroup", "monitorGroup", "settingGroup"};
    for (std::size_t i = 0; i < groups_.size(); ++i) {
        Place(groups_[i], *this, units_, kGroups[i]);
        groups_[i].setObjectName(QString::fromLatin1(group_names[i]));
    }
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        Place(bars_[i], *this, units_, kFrameBars[i].at);
        bars_[i].setObjectName(ControlName(kFrameBars[i].id));
    }

    MakeImage(discovery_title_, *this, units_, {28, 3, 59, 10}, Picture::DiscoveryTitle,
              QStringLiteral("discoveryTitle"), QStringLiteral("Discovery List"));
    Place(discovery_list_, *this, units_, {26, 15, 418, 103});
    discovery_list_.setObjectName(ControlName(IDC_DISCOVERY_LIST));
    discovery_list_.setAccessibleName(QStringLiteral("Discovery List"));
    discovery_list_.setFrameShape(QFrame::NoFrame);

    MakeImage(down_arrow_, *this, units_, {256, 136, 8, 9}, Picture::DownArrow,
              QStringLiteral("downArrow"), QStringLiteral("Down arrow"));

    MakeImage(monitor_title_, *this, units_, {26, 145, 50, 11}, Picture::MonitorTitle,
              QStringLiteral("monitorTitle"), QStringLiteral("Monitor List"));
    Place(monitor_list_, *this, units_, {26, 159, 414, 107});
    monitor_list_.setObjectName(ControlName(IDC_MONITOR_LIST));
    monitor_list_.setAccessibleName(QStringLiteral("Monitor List"));

    MakeImage(lamp_, *this, units_, {27, 266, 11, 12}, Picture::GreenLamp,
              ControlName(IDC_TRAP_LAMP), QStringLiteral("Trap indicator"));
    SetTrapLamp(false);

    MakeImage(setting_title_, *this, units_, {26, 286, 60, 10}, Picture::SettingTitle,
              QStringLiteral("settingTitle"), QStringLiteral("Device Setting"));

    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        QPushButton& button = buttons_[i];
        Place(button, *this, units_, kButtons[i].at);
        button.setObjectName(ControlName(kButtons[i].id));
        button.setText(QString::fromLatin1(kButtons[i].label));
        // Enter is no button's business in this window.
        button.setAutoDefault(false);
        button.setDefault(false);
    }
}

QPushButton* MainForm::button(int id) {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (kButtons[i].id == id)
            return &buttons_[i];
    }
    return nullptr;
}

void MainForm::SetTrapLamp(bool new_traps) {
    // Every trap lights the lamp: draw it only when it changes.
    if (lamp_red_ && *lamp_red_ == new_traps)
        return;
    lamp_red_ = new_traps;
    SetPicture(lamp_, new_traps ? Picture::RedLamp : Picture::GreenLamp);
    lamp_.setAccessibleDescription(new_traps ? QStringLiteral("New traps arrived")
                                             : QStringLiteral("No new traps"));
}

} // namespace kestrel
