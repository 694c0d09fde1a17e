#include "DeviceListColumns.h"

namespace kestrel {

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignVCenter;

constexpr ColumnDef kDiscoveryColumnDefs[] = {
    {"MAC Address", 100, kCentre}, {"IP Address", 100, kLeft},     {"Protocol Version", 100, kLeft},
    {"Product Name", 100, kLeft},  {"System Name", 100, kLeft},    {"DHCP", 100, kLeft},
    {"Location", 100, kLeft},      {"Trap IP", 100, kLeft},        {"Subnet Mask", 100, kLeft},
    {"Gateway", 100, kLeft},       {"Group Interval", 100, kLeft},
};

constexpr ColumnDef kMonitorColumnDefs[] = {
    {"S", 20, kCentre},           {"IP Address", 80, kLeft},
    {"MAC Address", 100, kLeft},  {"Protocol Version", 100, kLeft},
    {"Product Name", 100, kLeft}, {"System Name", 100, kLeft},
    {"DHCP", 100, kLeft},         {"Location", 100, kLeft},
    {"Trap IP", 100, kLeft},      {"Subnet Mask", 100, kLeft},
    {"Gateway", 100, kLeft},      {"Group Interval", 100, kLeft},
};

} // namespace

std::span<const ColumnDef> DiscoveryColumns() {
    return kDiscoveryColumnDefs;
}

std::span<const ColumnDef> MonitorColumns() {
    return kMonitorColumnDefs;
}

} // namespace kestrel
