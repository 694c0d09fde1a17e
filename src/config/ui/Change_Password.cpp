#include "config/ui/Change_Password.h"

#include "config/PasswordChangeInput.h"
#include "controls/ColourScheme.h"
#include "controls/DialogKeys.h"
#include "controls/DialogUnits.h"
#include "controls/Paint.h"
#include "protocol/set/SetExchange.h"

#include <tuple>

using namespace kestrel;

CChange_Password::CChange_Password(const SetLink& link, CoreEvents& events, Notifier& notifier,
                                   const ChosenAgent& agent, QWidget* parent)
    : QDialog(parent), link_(link), agent_(agent), notifier_(notifier), working_(ZeroRecord()),
      run_(link, events) {
    setObjectName(QStringLiteral("changePasswordDialog"));
    setWindowTitle(QStringLiteral("Password_change"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    BuildForm();
    ApplyColours();

    connect(&set_, &QPushButton::clicked, this, &CChange_Password::OnSet);
    connect(&run_, &SetRun::RunningChanged, &set_,
            [this](bool running) { set_.setEnabled(!running); });
    // Whatever the send gives, the dialog closes; a failure has been said.
    connect(&run_, &SetRun::Sent, this, &QDialog::accept);
    connect(&run_, &SetRun::SendFailed, this, &QDialog::accept);
    connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CChange_Password::BuildForm() {
    const DialogUnits du(font());
    setFixedSize(du.ToPixels(190, 90));

    const auto rows = {std::tuple{"ctl1115", "Original password", &original_, "ctl1016", 10},
                       std::tuple{"ctl1116", "New password", &new_password_, "ctl1021", 28},
                       std::tuple{"ctl1117", "Confirm password", &confirm_, "ctl1023", 46}};
    std::size_t i = 0;
    for (auto [label_id, text, box, box_id, y] : rows) {
        QLabel& label = labels_[i++];
        label.setParent(this);
        label.setObjectName(QString::fromLatin1(label_id));
        label.setText(QString::fromLatin1(text));
        PlaceAt(label, du, 10, y + 2, 70, 9);
        box->setParent(this);
        box->setObjectName(QString::fromLatin1(box_id));
        box->setEchoMode(QLineEdit::Password);
        box->setMaxLength(static_cast<int>(kPasswordMaxLength));
        box->setAccessibleName(label.text());
        label.setBuddy(box);
        PlaceAt(*box, du, 84, y, 96, 12);
    }

    // Enter and Esc are no dialog keys here: no button is a default one.
    for (auto [button, id, text, x] : {std::tuple{&set_, "ctl1032", "Set", 30},
                                       std::tuple{&cancel_, "ctl1015", "Cancel", 104}}) {
        button->setParent(this);
        button->setObjectName(QString::fromLatin1(id));
        button->setText(QString::fromLatin1(text));
        button->setAutoDefault(false);
        button->setDefault(false);
        PlaceAt(*button, du, x, 68, 56, 14);
    }
}

void CChange_Password::ApplyColours() {
    Paint(*this, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    setAutoFillBackground(true);
    for (QLabel& label : labels_)
        Paint(label, QPalette::Window, colours::kWhite, QPalette::WindowText, colours::kBlack);
    for (QLineEdit* box : {&original_, &new_password_, &confirm_})
        Paint(*box, QPalette::Base, colours::kWhite, QPalette::Text, colours::kBlack);
}

void CChange_Password::OnSet() {
    // One Set at a time: the first one's re-join is still under way.
    if (run_.running())
        return;
    const PasswordChangeResult result =
        ReadPasswordChange({.original = original_.text().toLatin1().toStdString(),
                            .new_password = new_password_.text().toLatin1().toStdString(),
                            .confirm = confirm_.text().toLatin1().toStdString()},
                           agent_.Record(link_.tables));
    if (result.failure) {
        notifier_.Show(*result.failure);
        return;
    }
    working_ = *result.working;
    run_.Start(agent_, SetVariant::Password, [this]() -> std::optional<SetPayload> {
        // A Cancel during the re-join sends nothing.
        if (!isVisible())
            return std::nullopt;
        return SetPayload{working_, DhcpChange::Untouched};
    });
}

void CChange_Password::keyPressEvent(QKeyEvent* event) {
    if (!SwallowDialogKey(*event))
        QDialog::keyPressEvent(event);
}
