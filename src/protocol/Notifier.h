#pragma once
// Every message box goes through this seam, so tests can record and answer
// them. Texts are shown as plain text: agents send text that ends up here.

#include <string_view>

namespace kestrel {

enum class MessageIcon { None, Information, Warning, Error };

// Caption of a plain message box, which names the program.
inline constexpr std::string_view kPlainCaption = "Kestrel Utility";

class Notifier {
public:
    virtual ~Notifier() = default;
    // A modal box with an OK button.
    virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
    // A modal box with OK and Cancel; true for OK.
    virtual bool AskOkCancel(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
};

} // namespace kestrel
