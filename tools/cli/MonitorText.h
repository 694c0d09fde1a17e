#pragma once
// The monitor list as text a person edits and keeps in version control, and
// back. Two forms with the same fields:
//   JSON: an array with one object per record;
//   lines: a header line naming the columns, then one record a line, the
//          values separated by tabs (\t, \n, \r and \\ inside a value are
//          escaped with a backslash); blank lines and lines starting with #
//          are skipped.
// Fields (texts; agents' 8-bit texts are Latin-1 characters here):
//   ip (required), mac, product_name, system_name, location, subnet_mask,
//   gateway, trap_ip; version is written for reading and ignored on import.
// Importing keeps every byte of a record already in monitor.cfg (found by
// MAC, else by IP) that the text does not change, so an export imported
// again writes monitor.cfg byte for byte as it was.

#include "protocol/wire/DeviceRecord.h"

#include <QByteArray>

#include <map>
#include <span>
#include <string>
#include <vector>

namespace kestrel::cli {

// The fields in the order of the lines form's header.
std::span<const char* const> MonitorTextFields();

// A record's fields by name (8-bit texts), version included.
std::map<std::string, std::string> MonitorTextValues(const DeviceRecord& record);

std::string MonitorTextJson(std::span<const DeviceRecord> records);
std::string MonitorTextLines(std::span<const DeviceRecord> records);

// One record read from either form: its values as the record stores them
// (8-bit), and where it stood ("record 3", "line 7").
struct TextRecord {
    std::string where;
    std::map<std::string, std::string> values;
};
struct TextRead {
    std::vector<TextRecord> records;
    std::string error; // empty when the text was read
};
// The form is told by the first character that is not white space ('['
// for JSON). Strict: a field that is not one of MonitorTextFields is an
// error; otherwise such fields (e.g. of discover --json) are ignored.
TextRead ReadMonitorText(const QByteArray& text, bool strict);

// The monitor list the text describes, built on the records of the current
// file; an error (with the record and the field) and nothing else when any
// value is refused.
struct ImportResult {
    std::vector<DeviceRecord> records;
    std::string error;
};
ImportResult ImportMonitorText(const std::vector<TextRecord>& text,
                               std::span<const DeviceRecord> current);

} // namespace kestrel::cli
