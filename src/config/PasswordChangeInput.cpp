#include "config/PasswordChangeInput.h"

#include "config/ConfigMessages.h"
#include "protocol/set/DeviceSelection.h"

namespace kestrel {

namespace {

bool LengthFits(const std::string& text) {
    return !text.empty() && text.size() <= kPasswordMaxLength;
}

PasswordChangeResult Refuse(const Message& message) {
    return {.working = std::nullopt, .failure = message};
}

} // namespace

PasswordChangeResult ReadPasswordChange(const PasswordChangeForm& form, const DeviceRecord& agent) {
    if (!LengthFits(form.original))
        return Refuse(kPasswordLengthBetween);
    if (!LengthFits(form.new_password))
        return Refuse(kPasswordLengthBetween);
    if (!LengthFits(form.confirm) || form.confirm != form.new_password)
        return Refuse(kConfirmPasswordFail);

    DeviceRecord working = agent;
    SetFieldText(working.password, form.original);
    SetFieldText(working.new_password, form.new_password);
    return {.working = working, .failure = std::nullopt};
}

} // namespace kestrel
