#include "controls/DeviceListColumns.h"

#include "protocol/lists/RowTexts.h"

namespace kestrel {

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignVCenter;

// The titles are the lists' own words, shared with the command-line tool.
constexpr const char* D(int i) {
    return kDiscoveryColumnTitles[static_cast<std::size_t>(i)].data();
}
constexpr const char* M(int i) {
    return kMonitorColumnTitles[static_cast<std::size_t>(i)].data();
}

constexpr ColumnDef kDiscoveryColumnDefs[] = {
    {D(0), 100, kCentre}, {D(1), 100, kLeft}, {D(2), 100, kLeft},  {D(3), 100, kLeft},
    {D(4), 100, kLeft},   {D(5), 100, kLeft}, {D(6), 100, kLeft},  {D(7), 100, kLeft},
    {D(8), 100, kLeft},   {D(9), 100, kLeft}, {D(10), 100, kLeft},
};

constexpr ColumnDef kMonitorColumnDefs[] = {
    {M(0), 20, kCentre}, {M(1), 80, kLeft},  {M(2), 100, kLeft},  {M(3), 100, kLeft},
    {M(4), 100, kLeft},  {M(5), 100, kLeft}, {M(6), 100, kLeft},  {M(7), 100, kLeft},
    {M(8), 100, kLeft},  {M(9), 100, kLeft}, {M(10), 100, kLeft}, {M(11), 100, kLeft},
};

} // namespace

std::span<const ColumnDef> DiscoveryColumns() {
    return kDiscoveryColumnDefs;
}

std::span<const ColumnDef> MonitorColumns() {
    return kMonitorColumnDefs;
}

} // namespace kestrel
