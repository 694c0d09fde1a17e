#include "protocol/upgrade/UpgradeMessages.h"

#include <cstdio>

namespace kestrel {

namespace {

std::string Counted(const char* format, uint32_t sent, uint32_t file_size) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<long>(sent), static_cast<long>(file_size));
    return text;
}

} // namespace

std::string UpgradeProgressText(uint32_t sent, uint32_t file_size) {
    return Counted("Upgrade...%ld/%ld bytes", sent, file_size);
}

std::string UpgradeCompleteText(uint32_t sent, uint32_t file_size) {
    return Counted("Complete...%ld/%ld bytes", sent, file_size);
}

std::string TransferFailText(uint32_t sent, uint32_t file_size) {
    return Counted("Upgrade fail, translate %ld/%ld bytes", sent, file_size);
}

} // namespace kestrel
