#include "MainForm.h"

#include "controls/ColourScheme.h"
#include "controls/Pictures.h"

namespace kestrel {

// How an edge follows a form larger (or smaller) than its default size, in
// quarters of the change in width or height: 0 stays with the top or left,
// 4 follows the bottom or right, 2 the middle.
struct FormAnchors {
    int left, right, top, bottom;
};

// A place in dialog units at the default size and how it follows the form.
struct FormBox {
    int x, y, width, height;
    FormAnchors grow{}; // stays with the top-left corner
};

namespace {

// The lists meet in the middle of the extra height.
constexpr int kMid = 2;
constexpr int kEnd = 4;
constexpr FormAnchors kWide{0, kEnd, 0, 0};

struct ButtonDef {
    int id;
    const char* label;
    FormBox at;
};

// In tab order.
constexpr std::array<ButtonDef, MainForm::kButtonCount> kButtons = {{
    // Under the discovery list, at its right.
    {IDC_DISCOVERY, "Discovery", {370, 118, 73, 12, {kEnd, kEnd, kMid, kMid}}},
    // Between the lists, in the middle.
    {IDC_ADD_TO_MONITOR, "Add to monitor list", {179, 136, 72, 12, {kMid, kMid, kMid, kMid}}},
    // Under the monitor list, at its left and right.
    {IDC_VIEW_TRAP, "View trap", {47, 266, 72, 12, {0, 0, kEnd, kEnd}}},
    {IDC_ADD_ITEM, "Add item", {283, 266, 72, 12, {kEnd, kEnd, kEnd, kEnd}}},
    {IDC_DELETE_ITEM, "Delete item", {367, 266, 73, 12, {kEnd, kEnd, kEnd, kEnd}}},
    // The setting row spreads evenly across the width.
    {IDC_CONFIGURATION, "Configuration setting", {26, 299, 72, 12, {0, 0, kEnd, kEnd}}},
    {IDC_PASSWORD_CHANGE, "Password change", {110, 299, 72, 12, {1, 1, kEnd, kEnd}}},
    {IDC_FIRMWARE_UPGRADE, "Firmware upgrade", {199, 299, 72, 12, {2, 2, kEnd, kEnd}}},
    {IDC_WEB_ACCESS, "Web access", {284, 299, 72, 12, {3, 3, kEnd, kEnd}}},
    {IDC_DHCP_REFRESH, "DHCP Refresh", {368, 299, 73, 12, {4, 4, kEnd, kEnd}}},
    {IDC_EXIT, "Exit", {367, 327, 72, 12, {kEnd, kEnd, kEnd, kEnd}}},
}};

struct BarDef {
    int id;
    FormBox at;
};

// Empty grey bars that join lists, buttons and group boxes into panels.
constexpr std::array<BarDef, MainForm::kFrameBarCount> kFrameBars = {{
    // The discovery panel.
    {1094, {17, 118, 353, 12, {0, kEnd, kMid, kMid}}},
    {1095, {17, 12, 9, 113, {0, 0, 0, kMid}}},
    {1096, {17, 8, 427, 8, kWide}},
    {1097, {443, 8, 9, 122, {kEnd, kEnd, 0, kMid}}},
    // The monitor panel.
    {1099, {17, 152, 10, 125, {0, 0, kMid, kEnd}}},
    {1100, {18, 152, 423, 8, {0, kEnd, kMid, kMid}}},
    {1101, {119, 266, 163, 12, {0, kEnd, kEnd, kEnd}}},
    {1102, {355, 266, 12, 12, {kEnd, kEnd, kEnd, kEnd}}},
    {1105, {38, 266, 9, 12, {0, 0, kEnd, kEnd}}},
    {1106, {440, 152, 9, 126, {kEnd, kEnd, kMid, kEnd}}},
    // The setting panel: bars between its buttons widen as they spread.
    {1107, {17, 291, 432, 8, {0, kEnd, kEnd, kEnd}}},
    {1108, {17, 311, 432, 9, {0, kEnd, kEnd, kEnd}}},
    {1109, {17, 299, 9, 13, {0, 0, kEnd, kEnd}}},
    {1110, {98, 298, 12, 13, {0, 1, kEnd, kEnd}}},
    {1111, {182, 298, 17, 13, {1, 2, kEnd, kEnd}}},
    {1112, {271, 298, 13, 13, {2, 3, kEnd, kEnd}}},
    {1113, {441, 298, 8, 13, {kEnd, kEnd, kEnd, kEnd}}},
    {1103, {355, 299, 13, 12, {3, kEnd, kEnd, kEnd}}},
}};

constexpr std::array<FormBox, 3> kGroups = {{{15, 3, 438, 128, {0, kEnd, 0, kMid}},
                                             {15, 147, 435, 132, {0, kEnd, kMid, kEnd}},
                                             {15, 285, 436, 36, {0, kEnd, kEnd, kEnd}}}};

// A smaller window still shows a few rows of each list.
constexpr int kMostShrink = 100;

QString ControlName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

void SetPicture(QLabel& label, Picture picture) {
    label.setPixmap(RenderPicture(picture, label.size()));
}

} // namespace

QFont ArialDialogFont() {
    // Drawn with a metric-compatible face where Arial itself is absent.
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void MainForm::Place(QWidget& widget, const FormBox& at) {
    widget.setParent(this);
    PlaceAt(widget, units_, at.x, at.y, at.width, at.height);
    placements_.push_back(
        {&widget, widget.geometry(), at.grow.left, at.grow.right, at.grow.top, at.grow.bottom});
}

// An image-only control, named for assistive technology.
void MainForm::MakeImage(QLabel& label, const FormBox& at, Picture picture, const QString& name,
                         const QString& accessible_name) {
    Place(label, at);
    label.setObjectName(name);
    label.setAccessibleName(accessible_name);
    SetPicture(label, picture);
}

MainForm::MainForm(QWidget* parent)
    : QWidget(parent), units_([this] {
          setFont(ArialDialogFont());
          return DialogUnits(font());
      }()) {
    setObjectName(QStringLiteral("mainForm"));
    // The form's own layout is the default size; the lists take what a
    // larger window adds, and give up part of their height to a smaller one.
    default_size_ = units_.ToPixels(468, 351);
    setMinimumSize(default_size_.width(), default_size_.height() - units_.Y(kMostShrink));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    resize(default_size_);
    QPalette face = palette();
    face.setColor(QPalette::Window, colours::kPanelBlue);
    setPalette(face);
    setAutoFillBackground(true);

    // Stacking follows the order children join the form: group boxes at the
    // bottom, then the bars, then everything that sits on them.
    const char* group_names[] = {"discoveryGroup", "monitorGroup", "settingGroup"};
    for (std::size_t i = 0; i < groups_.size(); ++i) {
        Place(groups_[i], kGroups[i]);
        groups_[i].setObjectName(QString::fromLatin1(group_names[i]));
    }
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        Place(bars_[i], kFrameBars[i].at);
        bars_[i].setObjectName(ControlName(kFrameBars[i].id));
    }

    MakeImage(discovery_title_, {28, 3, 59, 10}, Picture::DiscoveryTitle,
              QStringLiteral("discoveryTitle"), QStringLiteral("Discovery List"));
    // The two lists share the extra room: the full width each, half the height.
    Place(discovery_list_, {26, 15, 418, 103, {0, kEnd, 0, kMid}});
    discovery_list_.setObjectName(ControlName(IDC_DISCOVERY_LIST));
    discovery_list_.setAccessibleName(QStringLiteral("Discovery List"));
    discovery_list_.setFrameShape(QFrame::NoFrame);

    MakeImage(down_arrow_, {256, 136, 8, 9, {kMid, kMid, kMid, kMid}}, Picture::DownArrow,
              QStringLiteral("downArrow"), QStringLiteral("Down arrow"));

    MakeImage(monitor_title_, {26, 145, 50, 11, {0, 0, kMid, kMid}}, Picture::MonitorTitle,
              QStringLiteral("monitorTitle"), QStringLiteral("Monitor List"));
    Place(monitor_list_, {26, 159, 414, 107, {0, kEnd, kMid, kEnd}});
    monitor_list_.setObjectName(ControlName(IDC_MONITOR_LIST));
    monitor_list_.setAccessibleName(QStringLiteral("Monitor List"));

    MakeImage(lamp_, {27, 266, 11, 12, {0, 0, kEnd, kEnd}}, Picture::GreenLamp,
              ControlName(IDC_TRAP_LAMP), QStringLiteral("Trap indicator"));
    SetTrapLamp(false);

    MakeImage(setting_title_, {26, 286, 60, 10, {0, 0, kEnd, kEnd}}, Picture::SettingTitle,
              QStringLiteral("settingTitle"), QStringLiteral("Device Setting"));

    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        QPushButton& button = buttons_[i];
        Place(button, kButtons[i].at);
        button.setObjectName(ControlName(kButtons[i].id));
        button.setText(QString::fromLatin1(kButtons[i].label));
        // Enter is no button's business in this window.
        button.setAutoDefault(false);
        button.setDefault(false);
    }
}

QSize MainForm::sizeHint() const {
    return default_size_;
}

void MainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize extra = size() - default_size_;
    for (const FormPlacement& p : placements_) {
        // Edges with the same anchor move by the same amount: neighbours
        // stay joined, whichever way the division rounds.
        const int left = p.base.x() + extra.width() * p.left / 4;
        const int right = p.base.x() + p.base.width() + extra.width() * p.right / 4;
        const int top = p.base.y() + extra.height() * p.top / 4;
        const int bottom = p.base.y() + p.base.height() + extra.height() * p.bottom / 4;
        p.widget->setGeometry(left, top, right - left, bottom - top);
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
