#include "config/ui/GroupTimer.h"

#include "config/GroupIntervalInput.h"
#include "controls/DialogUnits.h"

#include <tuple>

using namespace kestrel;

CGroupTimer::CGroupTimer(ProtocolSettings& settings, DatagramSender& sender, Notifier& notifier,
                         std::filesystem::path define_ecf, QWidget* parent)
    : QDialog(parent), settings_(settings), sender_(sender), notifier_(notifier),
      define_ecf_(std::move(define_ecf)) {
    setObjectName(QStringLiteral("groupTimerDialog"));
    setWindowTitle(QStringLiteral("Group Interval"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    BuildForm();
    // The period is shown also while the keep-alive is off.
    interval_.setText(QString::number(settings_.multicast_timer));

    connect(&ok_, &QPushButton::clicked, this, &CGroupTimer::OnOK);
    connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CGroupTimer::BuildForm() {
    const DialogUnits du(font());
    setFixedSize(du.ToPixels(160, 74));

    range_.setParent(this);
    range_.setObjectName(QStringLiteral("rangeLabel"));
    range_.setText(QStringLiteral("Disable : 0\nEnable  : 120-1225 "));
    PlaceAt(range_, du, 10, 8, 140, 18);

    label_.setParent(this);
    label_.setObjectName(QStringLiteral("groupIntervalLabel"));
    label_.setText(QStringLiteral("Group Interval"));
    PlaceAt(label_, du, 10, 32, 56, 9);

    interval_.setParent(this);
    interval_.setObjectName(QStringLiteral("ctl1136"));
    interval_.setMaxLength(4);
    interval_.setAccessibleName(label_.text());
    label_.setBuddy(&interval_);
    PlaceAt(interval_, du, 70, 30, 50, 12);

    for (auto [button, id, text, x] :
         {std::tuple{&ok_, "ctl1", "OK", 22}, std::tuple{&cancel_, "ctl2", "Cancel", 88}}) {
        button->setParent(this);
        button->setObjectName(QString::fromLatin1(id));
        button->setText(QString::fromLatin1(text));
        button->setAutoDefault(false);
        PlaceAt(*button, du, x, 52, 50, 14);
    }
    // Enter presses OK; Esc cancels, as a dialog's keys do.
    ok_.setDefault(true);
}

void CGroupTimer::OnOK() {
    rejoin_.Start([this] { CheckAndApply(); });
}

void CGroupTimer::CheckAndApply() {
    const GroupIntervalResult result = ReadGroupInterval(interval_.text().toLatin1().toStdString());
    if (result.failure) {
        notifier_.Show(*result.failure);
        return;
    }
    ApplyKeepAliveChoice(*result.choice, define_ecf_, settings_, notifier_);
    accept();
}
