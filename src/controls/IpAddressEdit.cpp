#include "controls/IpAddressEdit.h"

#include <QKeyEvent>

#include <algorithm>

namespace kestrel {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent), layout_(this) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    layout_.setContentsMargins(2, 0, 2, 0);
    layout_.setSpacing(0);
    // 0 to 255 without leading zeros, or nothing.
    octet_validator_.setRegularExpression(
        QRegularExpression(QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?")));

    for (int i = 0; i < kOctets; ++i) {
        QLineEdit& box = boxes_[i];
        box.setFrame(false);
        box.setMaxLength(3);
        box.setAlignment(Qt::AlignCenter);
        box.setValidator(&octet_validator_);
        box.installEventFilter(this);
        connect(&box, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { OnTextEdited(i, text); });
        layout_.addWidget(&box, 1);
        if (i + 1 < kOctets) {
            QLabel& dot = dots_[i];
            dot.setText(QStringLiteral("."));
            layout_.addWidget(&dot, 0);
        }
    }
    setFocusProxy(&boxes_[0]);
    setAccessibleLabel(QStringLiteral("IP address"));
}

uint32_t IpAddressEdit::value() const {
    uint32_t address = 0;
    for (const QLineEdit& box : boxes_)
        address = (address << 8) | (box.text().toUInt() & 0xFF);
    return address;
}

void IpAddressEdit::setValue(uint32_t address) {
    for (int i = 0; i < kOctets; ++i)
        boxes_[i].setText(QString::number((address >> (8 * (kOctets - 1 - i))) & 0xFF));
}

bool IpAddressEdit::isBlank() const {
    return std::all_of(boxes_.begin(), boxes_.end(),
                       [](const QLineEdit& box) { return box.text().isEmpty(); });
}

void IpAddressEdit::clear() {
    for (QLineEdit& box : boxes_)
        box.clear();
}

void IpAddressEdit::setAccessibleLabel(const QString& label) {
    setAccessibleName(label);
    for (int i = 0; i < kOctets; ++i)
        boxes_[i].setAccessibleName(QStringLiteral("%1 octet %2").arg(label).arg(i + 1));
}

int IpAddressEdit::IndexOf(const QObject* box) const {
    for (int i = 0; i < kOctets; ++i)
        if (&boxes_[i] == box)
            return i;
    return -1;
}

void IpAddressEdit::FocusBox(int index, bool at_end) {
    if (index < 0 || index >= kOctets)
        return;
    QLineEdit& box = boxes_[index];
    box.setFocus(Qt::OtherFocusReason);
    if (at_end)
        box.end(false);
    else
        box.selectAll();
}

void IpAddressEdit::OnTextEdited(int index, const QString& text) {
    // A full octet moves on to the next box, as typing an address expects.
    if (text.size() == 3 && index + 1 < kOctets)
        FocusBox(index + 1, false);
    Q_EMIT valueEdited();
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QLineEdit& box = boxes_[index];
    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        if (!box.text().isEmpty() && !box.hasSelectedText())
            FocusBox(index + 1, false);
        return true; // never part of an octet
    case Qt::Key_Backspace:
        if (box.cursorPosition() == 0 && !box.hasSelectedText() && index > 0) {
            FocusBox(index - 1, true);
            return true;
        }
        break;
    case Qt::Key_Left:
        if (box.cursorPosition() == 0 && index > 0) {
            FocusBox(index - 1, true);
            return true;
        }
        break;
    case Qt::Key_Right:
        if (box.cursorPosition() == box.text().size() && index + 1 < kOctets) {
            FocusBox(index + 1, false);
            return true;
        }
        break;
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace kestrel
