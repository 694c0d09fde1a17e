#include "config/ui/DHCP_Refresh.h"

#include "config/DhcpRefreshInput.h"
#include "config/PasswordChangeInput.h"
#include "controls/DialogUnits.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"

#include <tuple>

using namespace kestrel;

CDHCP_Refresh::CDHCP_Refresh(ProgramState& state, DatagramSender& sender, Notifier& notifier,
                             QWidget* parent)
    : QDialog(parent), state_(state), sender_(sender), notifier_(notifier) {
    setObjectName(QStringLiteral("dhcpRefreshDialog"));
    setWindowTitle(QStringLiteral("DHCP Refresh"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    BuildForm();

    connect(&apply_, &QPushButton::clicked, this, &CDHCP_Refresh::OnApply);
    connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CDHCP_Refresh::BuildForm() {
    const DialogUnits du(font());
    setFixedSize(du.ToPixels(160, 56));

    label_.setParent(this);
    label_.setObjectName(QStringLiteral("passwordLabel"));
    label_.setText(QStringLiteral("Password"));
    PlaceAt(label_, du, 10, 12, 40, 9);

    password_.setParent(this);
    password_.setObjectName(QStringLiteral("ctl1132"));
    password_.setEchoMode(QLineEdit::Password);
    password_.setMaxLength(static_cast<int>(kPasswordMaxLength));
    password_.setAccessibleName(label_.text());
    label_.setBuddy(&password_);
    PlaceAt(password_, du, 54, 10, 96, 12);

    for (auto [button, id, text, x] : {std::tuple{&apply_, "ctl1133", "Apply", 22},
                                       std::tuple{&cancel_, "ctl2", "Cancel", 88}}) {
        button->setParent(this);
        button->setObjectName(QString::fromLatin1(id));
        button->setText(QString::fromLatin1(text));
        button->setAutoDefault(false);
        PlaceAt(*button, du, x, 34, 50, 14);
    }
    // Enter presses Apply; Esc cancels, as a dialog's keys do.
    apply_.setDefault(true);
}

void CDHCP_Refresh::OnApply() {
    rejoin_.Start([this] { Send(); });
}

void CDHCP_Refresh::Send() {
    const DeviceRecord working =
        DhcpRefreshWorking(state_, password_.text().toLatin1().toStdString());
    // Whatever the send gives, the dialog closes; a failure has been shown.
    SendSetRequest(state_, sender_, notifier_, SetVariant::DhcpRefresh, working,
                   DhcpChange::SwitchOn);
    accept();
}
