#pragma once
// Every message box goes through this seam, so tests can record and answer
// them. Texts are shown as plain text: agents send text that ends up here.

#include <string_view>

namespace kestrel {

enum class MessageIcon { None, Information, Warning, Error };

// One message box: its exact words, caption and icon. The program's boxes
// are constants beside the code that raises them (the *Messages.h headers).
struct Message {
    std::string_view text;
    std::string_view caption;
    MessageIcon icon = MessageIcon::None;

    // The same box with other words: a file name or an agent's text.
    constexpr Message WithText(std::string_view other) const { return {other, caption, icon}; }
    bool operator==(const Message&) const = default;
};

// Caption of a plain message box, which names the program.
inline constexpr std::string_view kPlainCaption = "Kestrel Utility";
inline constexpr std::string_view kErrorCaption = "Error";

class Notifier {
public:
    virtual ~Notifier() = default;
    // A modal box with an OK button.
    virtual void Show(const Message& message) = 0;
    // A modal box with OK and Cancel; true for OK.
    virtual bool Ask(const Message& question) = 0;
};

} // namespace kestrel
