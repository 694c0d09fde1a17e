#pragma once
// Message boxes for real: the exact text, caption and icon, never rich text.

#include "protocol/Notifier.h"

class QtNotifier : public kestrel::Notifier {
public:
    void ShowMessage(std::string_view text, std::string_view caption,
                     kestrel::MessageIcon icon) override;
    bool AskOkCancel(std::string_view text, std::string_view caption,
                     kestrel::MessageIcon icon) override;
};
