#pragma once
// The columns of the discovery and monitor lists: titles, pixel widths and
// alignment of header and cells.

#include <Qt>

#include <span>

namespace kestrel {

struct ColumnDef {
    const char* title;
    int width; // pixels
    Qt::Alignment alignment;
};

std::span<const ColumnDef> DiscoveryColumns();
std::span<const ColumnDef> MonitorColumns();

} // namespace kestrel
