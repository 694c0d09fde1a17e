#include "config/ui/Configuration_Set.h"

#include "controls/ColourScheme.h"
#include "controls/DialogKeys.h"
#include "controls/DialogUnits.h"
#include "controls/Paint.h"
#include "core/Latin1.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"

#include <QApplication>
#include <QKeyEvent>

#include <tuple>

using namespace kestrel;

namespace {

// One row of the form: label, control, in dialog units.
struct Row {
    const char* label_id;
    const char* label;
    int y;
};
constexpr Row kRows[] = {
    {"ctl1115", "Product name", 10}, {"ctl1116", "MAC Address", 26},
    {"ctl1117", "System name", 42},  {"ctl1118", "Location", 58},
    {"ctl1119", "IP Address", 74},   {"ctl1120", "Subnet mask", 90},
    {"ctl1121", "Gateway", 106},     {"ctl1122", "Set trap to", 122},
    {"ctl1128", "DHCP", 140},        {"groupIntervalLabel", "Group Interval", 156},
    {"ctl1127", "Password", 172},
};
constexpr int kLabelX = 10;
constexpr int kLabelWidth = 62;
constexpr int kFieldX = 76;
constexpr int kFieldWidth = 128;
constexpr int kFieldHeight = 12;

} // namespace

CConfiguration_Set::CConfiguration_Set(const SetLink& link, CoreEvents& events, Notifier& notifier,
                                       const ChosenAgent& agent, ListRowCounts rows,
                                       QWidget* parent)
    : QDialog(parent), link_(link), notifier_(notifier), agent_(agent), rows_(rows),
      working_(ZeroRecord()), run_(link, events) {
    setObjectName(QStringLiteral("configurationSetDialog"));
    setWindowTitle(QStringLiteral("Configuration setting"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    BuildForm();
    ApplyColours();
    LoadRecord();

    connect(&set_, &QPushButton::clicked, this, &CConfiguration_Set::OnSet);
    // One Set at a time: the button rests while the re-join runs.
    connect(&run_, &SetRun::RunningChanged, &set_,
            [this](bool running) { set_.setEnabled(!running); });
    // Whatever the send gives, the dialog closes; a failure has been said.
    connect(&run_, &SetRun::Sent, this, &QDialog::accept);
    connect(&run_, &SetRun::SendFailed, this, &QDialog::accept);
    connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(&dhcp_enable_, &QRadioButton::clicked, this, &CConfiguration_Set::OnDhcpEnable);
    connect(&dhcp_disable_, &QRadioButton::clicked, this, &CConfiguration_Set::OnDhcpDisable);
}

void CConfiguration_Set::BuildForm() {
    const DialogUnits du(font());
    setFixedSize(du.ToPixels(214, 212));

    QWidget* fields[] = {&product_name_, &mac_,     &system_name_, &location_, &ip_,
                         &subnet_mask_,  &gateway_, &trap_ip_,     nullptr,    &group_interval_,
                         &password_};
    const char* field_ids[] = {"ctl1024", "ctl1028", "ctl1027", "ctl1031", "ctl1033", "ctl1036",
                               "ctl1034", "ctl1035", nullptr,   "ctl1032", "ctl1022"};
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const Row& row = kRows[i];
        QLabel& label = labels_[i];
        label.setParent(this);
        label.setObjectName(QString::fromLatin1(row.label_id));
        label.setText(QString::fromLatin1(row.label));
        PlaceAt(label, du, kLabelX, row.y + 2, kLabelWidth, 9);
        QWidget* field = fields[i];
        if (!field)
            continue;
        field->setParent(this);
        field->setObjectName(QString::fromLatin1(field_ids[i]));
        label.setBuddy(field);
        if (auto* address = qobject_cast<IpAddressEdit*>(field))
            address->setAccessibleLabel(label.text());
        else
            field->setAccessibleName(label.text());
        PlaceAt(*field, du, kFieldX, row.y, kFieldWidth, kFieldHeight);
    }

    product_name_.setReadOnly(true);
    mac_.setReadOnly(true);
    system_name_.setMaxLength(20);
    location_.setMaxLength(20);
    password_.setMaxLength(20);
    password_.setEchoMode(QLineEdit::Password);
    group_interval_.setMaxLength(4);

    const int dhcp_y = kRows[8].y;
    for (auto [button, id, text, x] :
         {std::tuple{&dhcp_enable_, "ctl1130", "Enable", kFieldX},
          std::tuple{&dhcp_disable_, "ctl1131", "Disable", kFieldX + 60}}) {
        button->setParent(this);
        button->setObjectName(QString::fromLatin1(id));
        button->setText(QString::fromLatin1(text));
        button->setAccessibleName(button->text());
        // A pair of radio buttons, announced as such (see SetDhcpButtons for
        // the state with neither checked).
        button->setAutoExclusive(true);
        PlaceAt(*button, du, x, dhcp_y, 54, 10);
    }

    // Enter and Esc are no dialog keys here: no button is a default one.
    for (auto [button, id, text, x] : {std::tuple{&set_, "ctl1011", "Set", 30},
                                       std::tuple{&cancel_, "ctl1015", "Cancel", 112}}) {
        button->setParent(this);
        button->setObjectName(QString::fromLatin1(id));
        button->setText(QString::fromLatin1(text));
        button->setAutoDefault(false);
        button->setDefault(false);
        PlaceAt(*button, du, x, 192, 72, 14);
    }
}

void CConfiguration_Set::ApplyColours() {
    Paint(*this, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    setAutoFillBackground(true);
    for (QWidget* w : {static_cast<QWidget*>(&dhcp_enable_), static_cast<QWidget*>(&dhcp_disable_)})
        Paint(*w, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    for (QLabel& label : labels_)
        Paint(label, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    for (QLineEdit* edit : {&password_, &system_name_, &location_})
        Paint(*edit, QPalette::Base, colours::kWhite, QPalette::Text, colours::kBlack);
    // Read-only fields and the group interval keep the desktop's look, so
    // the read-only ones stand out on the white face.
    const QPalette desktop = QApplication::palette();
    for (QLineEdit* edit : {&product_name_, &mac_}) {
        Paint(*edit, QPalette::Base, desktop.color(QPalette::Window), QPalette::Text,
              desktop.color(QPalette::Text));
    }
    Paint(group_interval_, QPalette::Base, desktop.color(QPalette::Base), QPalette::Text,
          desktop.color(QPalette::Text));
}

void CConfiguration_Set::LoadRecord() {
    const DeviceRecord& r = agent_.Record(link_.tables);
    const ConfigurationForm form = FormFromRecord(r);
    product_name_.setText(Latin1(form.product_name));
    mac_.setText(Latin1(form.mac_text));
    system_name_.setText(Latin1(form.system_name));
    location_.setText(Latin1(form.location));
    ip_.setValue(form.ip);
    subnet_mask_.setValue(form.subnet_mask);
    gateway_.setValue(form.gateway);
    trap_ip_.setValue(form.trap_ip);

    SetDhcpButtons(form.dhcp_enable_checked, form.dhcp_disable_checked);
    const bool reported = form.dhcp_enable_checked || form.dhcp_disable_checked;
    dhcp_enable_.setEnabled(reported);
    dhcp_disable_.setEnabled(reported);
    SetAddressControlsEnabled(!form.dhcp_enable_checked);

    group_interval_.setText(Latin1(form.group_interval_text));
    group_interval_.setEnabled(form.group_interval_enabled);
}

void CConfiguration_Set::SetDhcpButtons(bool enable_checked, bool disable_checked) {
    // Exclusive buttons refuse to uncheck the checked one: an agent that does
    // not report DHCP leaves both unchecked, so exclusivity pauses meanwhile.
    for (QRadioButton* button : {&dhcp_enable_, &dhcp_disable_})
        button->setAutoExclusive(false);
    dhcp_enable_.setChecked(enable_checked);
    dhcp_disable_.setChecked(disable_checked);
    for (QRadioButton* button : {&dhcp_enable_, &dhcp_disable_})
        button->setAutoExclusive(true);
}

void CConfiguration_Set::SetAddressControlsEnabled(bool enabled) {
    ip_.setEnabled(enabled);
    subnet_mask_.setEnabled(enabled);
    gateway_.setEnabled(enabled);
}

void CConfiguration_Set::OnDhcpEnable() {
    dhcp_enable_.setChecked(true);
    dhcp_disable_.setChecked(false);
    SetAddressControlsEnabled(false);
}

void CConfiguration_Set::OnDhcpDisable() {
    dhcp_disable_.setChecked(true);
    dhcp_enable_.setChecked(false);
    SetAddressControlsEnabled(true);
}

ConfigurationForm CConfiguration_Set::ReadForm() const {
    return {
        .product_name = Latin1Bytes(product_name_.text()),
        .mac_text = Latin1Bytes(mac_.text()),
        .system_name = Latin1Bytes(system_name_.text()),
        .location = Latin1Bytes(location_.text()),
        .password = Latin1Bytes(password_.text()),
        .dhcp_enable_checked = dhcp_enable_.isChecked(),
        .dhcp_disable_checked = dhcp_disable_.isChecked(),
        .ip = ip_.value(),
        .subnet_mask = subnet_mask_.value(),
        .gateway = gateway_.value(),
        .trap_ip = trap_ip_.value(),
        .group_interval_enabled = group_interval_.isEnabled(),
        .group_interval_text = Latin1Bytes(group_interval_.text()),
    };
}

void CConfiguration_Set::OnSet() {
    // The membership is renewed first, also when a check then fails.
    run_.Start(agent_, SetVariant::Configuration, [this] { return CheckForm(); });
}

std::optional<SetPayload> CConfiguration_Set::CheckForm() {
    // A Cancel during the re-join sends nothing.
    if (!isVisible())
        return std::nullopt;
    const ConfigurationResult result = ReadConfiguration(ReadForm(), link_.tables, agent_, rows_);
    if (result.failure) {
        notifier_.Show(*result.failure);
        return std::nullopt;
    }
    working_ = result.request->working;
    return result.request;
}

void CConfiguration_Set::keyPressEvent(QKeyEvent* event) {
    if (!SwallowDialogKey(*event))
        QDialog::keyPressEvent(event);
}
