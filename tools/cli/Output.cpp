#include "Output.h"

#include "TerminalText.h"

#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

namespace kestrel::cli {

Output::Output(const CommandArgs& args)
    : format_(args.json()  ? Format::Json
              : args.csv() ? Format::Csv
                           : Format::Text),
      quiet_(args.quiet()), verbose_(args.verbose()) {}

void Output::Data(std::string_view text) const {
    if (quiet_)
        return;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void Output::Table(std::span<const std::string_view> titles,
                   const std::vector<std::vector<std::string>>& rows) const {
    Data(format_ == Format::Csv ? CsvTable(titles, rows) : AlignedTable(titles, rows));
}

void Output::JsonArray(const QJsonArray& array) const {
    Data(JsonText(QJsonDocument(array), QJsonDocument::Indented));
}

void Output::JsonObjectLine(const QJsonObject& object) const {
    std::string line = JsonText(QJsonDocument(object), QJsonDocument::Compact);
    line.push_back('\n');
    Data(line);
}

void Output::DataLine(std::string_view line) const {
    std::string text(line);
    text.push_back('\n');
    Data(text);
}

void Output::Note(std::string_view text) const {
    if (!quiet_)
        Error(text);
}

void Output::Verbose(std::string_view text) const {
    if (verbose())
        Error(text);
}

void Output::Error(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

std::string AlignedTable(std::span<const std::string_view> titles,
                         const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::vector<std::string>> shown;
    shown.emplace_back(titles.begin(), titles.end());
    for (const auto& row : rows) {
        auto& cells = shown.emplace_back();
        for (const std::string& cell : row)
            cells.push_back(TerminalText(cell));
    }
    std::vector<std::size_t> width(titles.size());
    for (std::size_t c = 0; c < titles.size(); ++c)
        for (const auto& row : shown)
            width[c] = std::max(width[c], TerminalWidth(row[c]));
    std::string out;
    for (const auto& row : shown) {
        std::string text;
        for (std::size_t c = 0; c < titles.size(); ++c) {
            text.append(row[c]);
            if (c + 1 < titles.size())
                text.append(width[c] - TerminalWidth(row[c]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out.append(text);
        out.push_back('\n');
    }
    return out;
}

namespace {

// RFC 4180: a cell with a comma, quote or line break is quoted, quotes
// doubled. Control characters are already escaped by TerminalText.
std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace

std::string CsvTable(std::span<const std::string_view> titles,
                     const std::vector<std::vector<std::string>>& rows) {
    std::string out;
    for (std::size_t c = 0; c < titles.size(); ++c)
        out += (c ? "," : "") + CsvCell(std::string(titles[c]));
    out += "\r\n";
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            out += (c ? "," : "") + CsvCell(TerminalText(row[c]));
        out += "\r\n";
    }
    return out;
}

QString IsoNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace kestrel::cli
