#include "MonitorText.h"
#include "MacText.h"

#include "TerminalText.h"
#include "core/Latin1.h"
#include "protocol/lists/DeviceTables.h"
#include "protocol/lists/ListCommands.h"
#include "protocol/wire/HostAddress.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <cctype>
#include <cstring>
#include <optional>

namespace kestrel::cli {

namespace {

using namespace Qt::StringLiterals;

struct Field {
    const char* key;
    std::span<char> (*text)(DeviceRecord&);
    uint32_t DeviceRecord::*address; // the number beside an address text
};

// Editable fields, then the one written for reading only.
const Field kFields[] = {
    {"ip", [](DeviceRecord& r) { return std::span<char>(r.ip_text); }, &DeviceRecord::ip},
    {"mac", [](DeviceRecord& r) { return std::span<char>(r.mac_text); }, nullptr},
    {"product_name", [](DeviceRecord& r) { return std::span<char>(r.product_name); }, nullptr},
    {"system_name", [](DeviceRecord& r) { return std::span<char>(r.system_name); }, nullptr},
    {"location", [](DeviceRecord& r) { return std::span<char>(r.location); }, nullptr},
    {"subnet_mask", [](DeviceRecord& r) { return std::span<char>(r.subnet_mask_text); },
     &DeviceRecord::subnet_mask},
    {"gateway", [](DeviceRecord& r) { return std::span<char>(r.gateway_text); },
     &DeviceRecord::gateway},
    {"trap_ip", [](DeviceRecord& r) { return std::span<char>(r.trap_ip_text); },
     &DeviceRecord::trap_ip},
};
constexpr const char* kVersion = "version";
constexpr const char* kKeys[] = {"ip",          "mac",      "product_name",
                                 "system_name", "location", "subnet_mask",
                                 "gateway",     "trap_ip",  kVersion};

std::string_view SpanText(std::span<const char> field) {
    const void* nul = std::memchr(field.data(), 0, field.size());
    return {field.data(),
            nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field.data())
                : field.size()};
}

std::vector<std::pair<std::string, std::string>> Values(const DeviceRecord& record) {
    DeviceRecord r = record;
    std::vector<std::pair<std::string, std::string>> values;
    for (const Field& f : kFields)
        values.emplace_back(f.key, std::string(SpanText(f.text(r))));
    values.emplace_back(kVersion,
                        FormatVersionText(r.protocol_version, r.sub_version, r.interface_version));
    return values;
}

bool Known(const QString& key) {
    for (const char* k : kKeys)
        if (key == QLatin1String(k))
            return true;
    return false;
}

// A value of the text as the record stores it: one byte a character.
std::optional<std::string> EightBit(const QString& value) {
    for (const QChar c : value)
        if (c.unicode() > 0xFF)
            return std::nullopt;
    return Latin1Bytes(value);
}

std::string Escaped(const std::string& utf8) {
    std::string out;
    for (const char c : utf8) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
    return out;
}

std::optional<QString> Unescaped(const QString& cell) {
    QString out;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        if (cell[i] != u'\\') {
            out += cell[i];
            continue;
        }
        if (++i == cell.size())
            return std::nullopt;
        const char16_t c = cell[i].unicode();
        if (c == u'\\')
            out += u'\\';
        else if (c == u't')
            out += u'\t';
        else if (c == u'n')
            out += u'\n';
        else if (c == u'r')
            out += u'\r';
        else
            return std::nullopt;
    }
    return out;
}

TextRead ReadJson(const QByteArray& text, bool strict) {
    TextRead read;
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &parse);
    if (parse.error != QJsonParseError::NoError) {
        read.error = "not valid JSON at byte " + std::to_string(parse.offset) + ": " +
                     parse.errorString().toStdString();
        return read;
    }
    if (!doc.isArray()) {
        read.error = "JSON: an array of records was expected";
        return read;
    }
    const QJsonArray array = doc.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        TextRecord record;
        record.where = "record " + std::to_string(i + 1);
        if (!array[i].isObject()) {
            read.error = record.where + ": not an object";
            return read;
        }
        const QJsonObject object = array[i].toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::string key = it.key().toStdString();
            if (!Known(it.key())) {
                if (!strict)
                    continue;
                read.error = record.where + ": unknown field \"" + key + "\"";
                return read;
            }
            if (!it.value().isString()) {
                read.error = record.where + ": " + key + ": not a text";
                return read;
            }
            const auto value = EightBit(it.value().toString());
            if (!value) {
                read.error = record.where + ": " + key +
                             ": a character beyond Latin-1, which agents cannot store";
                return read;
            }
            record.values[key] = *value;
        }
        read.records.push_back(std::move(record));
    }
    return read;
}

TextRead ReadLines(const QByteArray& text, bool strict) {
    TextRead read;
    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    QStringList header;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(u'\r'))
            line.chop(1);
        const std::string where = "line " + std::to_string(n + 1);
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList cells = line.split(u'\t');
        if (header.isEmpty()) {
            header = cells;
            for (const QString& column : header)
                if (strict && !Known(column)) {
                    read.error = where + ": unknown column \"" + column.toStdString() + "\"";
                    return read;
                }
            continue;
        }
        if (cells.size() != header.size()) {
            read.error = where + ": " + std::to_string(cells.size()) + " values for " +
                         std::to_string(header.size()) + " columns";
            return read;
        }
        TextRecord record;
        record.where = where;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            if (!Known(header[c]))
                continue;
            const std::string key = header[c].toStdString();
            const auto unescaped = Unescaped(cells[c]);
            if (!unescaped) {
                read.error = where + ": " + key + ": a backslash that escapes nothing";
                return read;
            }
            const auto value = EightBit(*unescaped);
            if (!value) {
                read.error = where + ": " + key +
                             ": a character beyond Latin-1 (or not UTF-8), which agents cannot "
                             "store";
                return read;
            }
            record.values[key] = *value;
        }
        read.records.push_back(std::move(record));
    }
    if (read.error.empty() && !header.contains(u"ip"_s) && !header.contains(u"mac"_s))
        read.error = "no header line naming the columns (ip, mac, ...)";
    return read;
}

// The value checked for its field; an error text when refused.
std::string Check(const Field& field, std::string& value) {
    const std::string_view key = field.key;
    if (key == "ip") {
        const auto ip = ParseIpv4(value);
        if (!ip || *ip == 0 || !IsLegalHostAddress(*ip))
            return "\"" + value + "\" is no legal host address (IP address is illegal)";
        return {};
    }
    if (key == "mac") {
        if (value.empty())
            return {};
        const auto mac = MacDigits(value);
        if (!mac)
            return "\"" + value + "\" is no MAC address of 12 hex digits";
        value = *mac;
        return {};
    }
    if (field.address) {
        if (!value.empty() && !ParseIpv4(value))
            return "\"" + value + "\" is no IPv4 address";
        return {};
    }
    DeviceRecord probe{};
    const std::size_t room = field.text(probe).size() - 1;
    if (value.size() > room)
        return "longer than " + std::to_string(room) + " characters";
    return {};
}

void Store(const Field& field, DeviceRecord& r, const std::string& value) {
    const std::span<char> text = field.text(r);
    const std::string_view now = SpanText(text);
    // An unchanged value keeps the field's bytes, also those past its end.
    if (now == value)
        return;
    if (std::string_view(field.key) == "mac" && MacDigits(now) == value)
        return;
    std::memset(text.data(), 0, text.size());
    std::memcpy(text.data(), value.data(), std::min(value.size(), text.size() - 1));
    if (field.address)
        r.*field.address = value.empty() ? 0 : ParseIpv4(value).value_or(0);
}

} // namespace

std::span<const char* const> MonitorTextFields() {
    return kKeys;
}

std::map<std::string, std::string> MonitorTextValues(const DeviceRecord& record) {
    std::map<std::string, std::string> values;
    for (auto& [key, value] : Values(record))
        values[key] = std::move(value);
    return values;
}

std::string MonitorTextJson(std::span<const DeviceRecord> records) {
    QJsonArray array;
    for (const DeviceRecord& r : records) {
        QJsonObject object;
        for (const auto& [key, value] : Values(r))
            object.insert(QString::fromStdString(key), Latin1(value));
        array.append(object);
    }
    return JsonText(QJsonDocument(array), QJsonDocument::Indented);
}

std::string MonitorTextLines(std::span<const DeviceRecord> records) {
    std::string out;
    for (const char* key : kKeys)
        out += std::string(out.empty() ? "" : "\t") + key;
    out += '\n';
    for (const DeviceRecord& r : records) {
        std::string line;
        for (const auto& [key, value] : Values(r))
            line += std::string(line.empty() && key == "ip" ? "" : "\t") +
                    Escaped(Latin1(value).toStdString());
        out += line + '\n';
    }
    return out;
}

TextRead ReadMonitorText(const QByteArray& text, bool strict) {
    const QByteArray start = text.trimmed().left(1);
    if (start == "[" || start == "{")
        return ReadJson(text, strict);
    return ReadLines(text, strict);
}

ImportResult ImportMonitorText(const std::vector<TextRecord>& text,
                               std::span<const DeviceRecord> current) {
    ImportResult result;
    if (text.size() > static_cast<std::size_t>(kTableCapacity)) {
        result.error = std::to_string(text.size()) + " records: the monitor list holds at most " +
                       std::to_string(kTableCapacity);
        return result;
    }
    std::vector<std::map<std::string, std::string>> checked;
    std::map<std::string, std::string> seen; // "ip 1.2.3.4" -> where
    for (const TextRecord& record : text) {
        std::map<std::string, std::string> values = record.values;
        if (!values.contains("ip")) {
            result.error = record.where + ": ip: missing (every record needs its address)";
            return result;
        }
        for (const Field& field : kFields) {
            const auto it = values.find(field.key);
            if (it == values.end())
                continue;
            if (const std::string why = Check(field, it->second); !why.empty()) {
                result.error = record.where + ": " + field.key + ": " + why;
                return result;
            }
            if (std::string_view(field.key) != "ip" &&
                (std::string_view(field.key) != "mac" || it->second.empty()))
                continue;
            const std::string id = std::string(field.key) + " " + it->second;
            if (const auto twin = seen.find(id); twin != seen.end()) {
                result.error = record.where + ": " + field.key + ": " + it->second + " is in " +
                               twin->second + " too";
                return result;
            }
            seen[id] = record.where;
        }
        checked.push_back(std::move(values));
    }

    std::vector<bool> used(current.size(), false);
    const auto take = [&](const auto& matches) -> std::optional<DeviceRecord> {
        for (std::size_t i = 0; i < current.size(); ++i)
            if (!used[i] && matches(current[i])) {
                used[i] = true;
                return current[i];
            }
        return std::nullopt;
    };
    for (const auto& values : checked) {
        const std::string& ip = values.at("ip");
        const auto mac = values.find("mac");
        std::optional<DeviceRecord> base;
        if (mac != values.end() && !mac->second.empty())
            base = take([&](const DeviceRecord& r) {
                return MacDigits(FieldText(r.mac_text)) == mac->second;
            });
        if (!base)
            base = take([&](const DeviceRecord& r) { return FieldText(r.ip_text) == ip; });
        if (!base) {
            // As "Add item" makes one: the rest comes with the agent's answers.
            base = ZeroRecord();
            base->utility_id = kBuiltInUtilityId;
            base->row_state = kRowNew;
            base->status_image = kImageNone;
        }
        for (const Field& field : kFields)
            if (const auto it = values.find(field.key); it != values.end())
                Store(field, *base, it->second);
        result.records.push_back(*base);
    }
    return result;
}

} // namespace kestrel::cli
