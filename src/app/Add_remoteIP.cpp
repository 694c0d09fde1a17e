#include "app/Add_remoteIP.h"

#include "controls/ColourScheme.h"
#include "controls/DialogUnits.h"
#include "protocol/lists/ListMessages.h"
#include "protocol/wire/HostAddress.h"
#include "protocol/wire/Ipv4Text.h"

CAdd_remoteIP::CAdd_remoteIP(kestrel::DeviceRecord& record, kestrel::Notifier& notifier,
                             QWidget* parent)
    : QDialog(parent), record_(record), notifier_(notifier), label_(this), address_(this),
      apply_(this), cancel_(this) {
    using namespace kestrel;
    setWindowTitle(QStringLiteral("Remote IP"));
    setFont(QFont(QStringLiteral("Arial"), 8));

    QPalette face = palette();
    face.setColor(QPalette::Window, colours::kWhite);
    face.setColor(QPalette::WindowText, colours::kBlack);
    setPalette(face);
    setAutoFillBackground(true);

    const DialogUnits du(font());
    setFixedSize(du.ToPixels(232, 59));

    label_.setObjectName(QStringLiteral("ctl1115"));
    label_.setText(QStringLiteral("IP Address"));
    label_.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label_.setBuddy(&address_);
    PlaceAt(label_, du, 7, 15, 66, 10);

    address_.setObjectName(QStringLiteral("ctl1010"));
    address_.setAccessibleLabel(QStringLiteral("IP Address"));
    PlaceAt(address_, du, 78, 13, 128, 12);

    apply_.setObjectName(QStringLiteral("ctl1"));
    apply_.setText(QStringLiteral("Apply"));
    apply_.setDefault(true);
    PlaceAt(apply_, du, 19, 40, 72, 12);

    cancel_.setObjectName(QStringLiteral("ctl2"));
    cancel_.setText(QStringLiteral("Cancel"));
    PlaceAt(cancel_, du, 136, 40, 72, 12);

    connect(&apply_, &QPushButton::clicked, this, &CAdd_remoteIP::OnApply);
    connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
    address_.setFocus();
}

void CAdd_remoteIP::OnApply() {
    using namespace kestrel;
    const RemoteAddressResult result = ReadRemoteAddress(address_.value());
    if (result.failure) {
        notifier_.Show(*result.failure);
        return;
    }
    record_ = *result.record;
    accept();
}
