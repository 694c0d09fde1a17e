#include "QtNotifier.h"

#include "core/Latin1.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon BoxIcon(kestrel::MessageIcon icon) {
    switch (icon) {
    case kestrel::MessageIcon::Information:
        return QMessageBox::Information;
    case kestrel::MessageIcon::Warning:
        return QMessageBox::Warning;
    case kestrel::MessageIcon::Error:
        return QMessageBox::Critical;
    case kestrel::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Modal over whatever window is in front: the main window or one of its
// dialogs.
QWidget* BoxParent() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

int RunBox(const kestrel::Message& m, QMessageBox::StandardButtons buttons) {
    using kestrel::Latin1;
    QMessageBox box(BoxIcon(m.icon), Latin1(m.caption), Latin1(m.text), buttons, BoxParent());
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("messageBox"));
    if (buttons & QMessageBox::Cancel)
        box.setEscapeButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec();
}

} // namespace

void QtNotifier::Show(const kestrel::Message& message) {
    RunBox(message, QMessageBox::Ok);
}

bool QtNotifier::Ask(const kestrel::Message& question) {
    return RunBox(question, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}
