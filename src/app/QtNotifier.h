#pragma once
// Message boxes for real: the exact text, caption and icon, never rich text.

#include "protocol/seams/Notifier.h"

class QtNotifier : public kestrel::Notifier {
public:
    void Show(const kestrel::Message& message) override;
    bool Ask(const kestrel::Message& question) override;
};
