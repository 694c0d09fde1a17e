#pragma once
// Where a command's words go, by the global options: data on standard
// output (a table, CSV, a JSON array or one JSON object a line), notes and
// progress on standard error, errors always. --quiet leaves only errors.

#include "CommandArgs.h"

#include <QJsonArray>
#include <QJsonObject>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::cli {

class Output {
public:
    enum class Format { Text, Json, Csv };

    explicit Output(const CommandArgs& args);
    Output(Format format, bool quiet, bool verbose)
        : format_(format), quiet_(quiet), verbose_(verbose) {}

    Format format() const { return format_; }
    bool json() const { return format_ == Format::Json; }
    bool quiet() const { return quiet_; }
    bool verbose() const { return verbose_ && !quiet_; }

    // Rows of agents' 8-bit texts under ASCII titles: an aligned table
    // (padded by characters) or, with --csv, CSV. Use JsonArray for --json.
    void Table(std::span<const std::string_view> titles,
               const std::vector<std::vector<std::string>>& rows) const;
    void JsonArray(const QJsonArray& array) const;
    // One object a line, flushed at once (for events and per-agent results).
    void JsonObjectLine(const QJsonObject& object) const;
    // A line of data as it is (UTF-8).
    void DataLine(std::string_view line) const;

    void Note(std::string_view text) const;    // standard error, not with --quiet
    void Verbose(std::string_view text) const; // standard error, only with --verbose
    static void Error(std::string_view text);  // standard error, always

private:
    void Data(std::string_view text) const;

    Format format_ = Format::Text;
    bool quiet_ = false;
    bool verbose_ = false;
};

// Agents' 8-bit texts in the two shapes.
std::string AlignedTable(std::span<const std::string_view> titles,
                         const std::vector<std::vector<std::string>>& rows);
std::string CsvTable(std::span<const std::string_view> titles,
                     const std::vector<std::vector<std::string>>& rows);

// Now, in ISO 8601 with milliseconds and the zone offset.
QString IsoNow();

} // namespace kestrel::cli
