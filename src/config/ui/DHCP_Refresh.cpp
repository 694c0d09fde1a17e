#include "config/ui/DHCP_Refresh.h"

#include "config/DhcpRefreshInput.h"
#include "config/PasswordChangeInput.h"
#include "controls/DialogUnits.h"
#include "protocol/set/DeviceSelection.h"
#include "protocol/set/SetExchange.h"

#include <tuple>

using namespace kestrel;

CDHCP_Refresh::CDHCP_Refresh(const SetLink& link, CoreEvents& events, const ChosenAgent& agent,
                             QWidget* parent)
    : QDialog(parent), link_(link), agent_(agent), run_(link, events) {
    setObjectName(QStringLiteral("dhcpRefreshDialog"));
    setWindowTitle(QStringLiteral("DHCP Refresh"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    BuildForm();

    connect(&apply_, &QPushButton::clicked, this, &CDHCP_Refresh::OnApply);
    connect(&run_, &SetRun::RunningChanged, &apply_,
            [this](bool running) { apply_.setEnabled(!running); });
    // Whatever the send gives, the dialog closes; a failure has been said.
    connect(&run_, &SetRun::Sent, this, &QDialog::accept);
    connect(&run_, &SetRun::SendFailed, this, &QDialog::accept);
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
    run_.Start(agent_, SetVariant::DhcpRefresh, [this]() -> std::optional<SetPayload> {
        // A Cancel during the re-join sends nothing.
        if (!isVisible())
            return std::nullopt;
        return SetPayload{DhcpRefreshWorking(agent_.Record(link_.tables),
                                             password_.text().toLatin1().toStdString()),
                          DhcpChange::SwitchOn};
    });
}
