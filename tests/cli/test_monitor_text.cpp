// The monitor list's text form: a known monitor.cfg, written here as
// literal bytes, goes out as text and comes back byte for byte; edits
// change only their fields; refused texts say where and change nothing.

#include "MonitorText.h"
#include "protocol/wire/DeviceRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kestrel::cli;
using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, std::size_t offset, const std::string& text) {
    std::memcpy(b.data() + offset, text.data(), text.size());
}
void PutU32(Bytes& b, std::size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[offset + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(Bytes& b, std::size_t offset, uint16_t v) {
    b[offset] = static_cast<uint8_t>(v);
    b[offset + 1] = static_cast<uint8_t>(v >> 8);
}

// One 300-byte record as the window saves it, state and leftovers included:
// bytes after a text's NUL, a row state of "known", polls missed, a mask.
Bytes Record(const std::string& mac, const std::string& ip, uint32_t ip_number,
             const std::string& name) {
    Bytes b(300, 0);
    PutU32(b, 0, 0x4B455354);
    Put(b, 4, mac);
    Put(b, 20, "KS-2400 managed switch");
    Put(b, 61, name);
    Put(b, 61 + name.size() + 1, "old"); // left over from a longer name
    Put(b, 82, "hall");
    Put(b, 103, "240");
    Put(b, 109, ip);
    Put(b, 129, "198.18.0.1");
    Put(b, 149, "255.254.0.0");
    Put(b, 169, "198.18.0.254");
    Put(b, 189, "secret");
    PutU32(b, 232, ip_number);
    PutU32(b, 236, 0xC6120001);
    PutU32(b, 240, 0xFFFE0000);
    PutU32(b, 244, 0xC61200FE);
    PutU32(b, 248, 240);
    PutU32(b, 256, 1);  // row_state: known
    PutU32(b, 260, 2);  // missed polls
    PutU32(b, 264, -1); // no status image
    PutU32(b, 268, 1);
    PutU16(b, 272, 2);
    PutU16(b, 274, 2);
    PutU16(b, 276, 3);
    PutU16(b, 278, 1);
    PutU16(b, 282, 1);
    PutU32(b, 284, 0x2003FF);
    return b;
}

Bytes KnownFile() {
    Bytes file = Record("020000000002", "198.18.1.2", 0xC6120102, "north");
    const Bytes second = Record("020000000003", "198.18.1.3", 0xC6120103, "Büro");
    file.insert(file.end(), second.begin(), second.end());
    // The name is 8-bit: "Büro" as Latin-1 (0xFC), not UTF-8.
    file[300 + 61] = 'B';
    file[300 + 62] = 0xFC;
    file[300 + 63] = 'r';
    file[300 + 64] = 'o';
    file[300 + 65] = 0;
    return file;
}

std::vector<kestrel::DeviceRecord> Records(const Bytes& file) {
    std::vector<kestrel::DeviceRecord> records(file.size() / 300);
    if (!file.empty()) // an empty vector's data() may be null
        std::memcpy(records.data(), file.data(), file.size());
    return records;
}

Bytes FileOf(const std::vector<kestrel::DeviceRecord>& records) {
    Bytes file(records.size() * 300);
    if (!records.empty())
        std::memcpy(file.data(), records.data(), file.size());
    return file;
}

ImportResult Import(const std::string& text, const Bytes& current) {
    const TextRead read = ReadMonitorText(QByteArray::fromStdString(text), true);
    if (!read.error.empty())
        return {{}, read.error};
    return ImportMonitorText(read.records, Records(current));
}

TEST(CliMonitorText, BothFormsComeBackByteForByte) {
    const Bytes file = KnownFile();
    const auto records = Records(file);
    for (const std::string& text : {MonitorTextJson(records), MonitorTextLines(records)}) {
        const ImportResult result = Import(text, file);
        ASSERT_EQ(result.error, "") << text;
        EXPECT_EQ(FileOf(result.records), file) << text;
    }
    // The lines form as a person reads it: UTF-8, tab-separated.
    EXPECT_EQ(MonitorTextLines(records),
              "ip\tmac\tproduct_name\tsystem_name\tlocation\tsubnet_mask\tgateway\ttrap_ip\t"
              "version\n"
              "198.18.1.2\t020000000002\tKS-2400 managed switch\tnorth\thall\t255.254.0.0\t"
              "198.18.0.254\t198.18.0.1\t2.001.003\n"
              "198.18.1.3\t020000000003\tKS-2400 managed switch\tB\xc3\xbcro\thall\t255.254.0.0\t"
              "198.18.0.254\t198.18.0.1\t2.001.003\n");
}

TEST(CliMonitorText, EditsChangeTheirFieldsOnlyAndNewAgentsStartAsAddedByAddress) {
    const Bytes file = KnownFile();
    // Second record first, renamed; the first moved to a new address; one new.
    const std::string text = R"([
        {"ip": "198.18.1.3", "mac": "02:00:00:00:00:03", "system_name": "Süd"},
        {"ip": "198.18.1.20", "mac": "020000000002"},
        {"ip": "198.18.1.9"}
    ])";
    const ImportResult result = Import(text, file);
    ASSERT_EQ(result.error, "");
    const Bytes out = FileOf(result.records);
    ASSERT_EQ(out.size(), 900u);

    Bytes renamed(file.begin() + 300, file.end());
    std::memset(renamed.data() + 61, 0, 21);
    Put(renamed, 61,
        "S\xfc"
        "d");
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 300), renamed);

    Bytes moved(file.begin(), file.begin() + 300);
    std::memset(moved.data() + 109, 0, 20);
    Put(moved, 109, "198.18.1.20");
    PutU32(moved, 232, 0xC6120114);
    EXPECT_EQ(Bytes(out.begin() + 300, out.begin() + 600), moved);

    Bytes added(300, 0);
    PutU32(added, 0, 0x4B455354);
    Put(added, 109, "198.18.1.9");
    PutU32(added, 232, 0xC6120109);
    PutU32(added, 264, -1);
    EXPECT_EQ(Bytes(out.begin() + 600, out.end()), added);
}

TEST(CliMonitorText, RefusedTextsSayTheRecordAndTheField) {
    struct Case {
        const char* what;
        std::string text;
        const char* error;
    };
    std::string too_many = "[";
    for (int i = 0; i < 257; ++i)
        too_many += std::string(i ? "," : "") + "{\"ip\":\"198.18." + std::to_string(2 + i / 250) +
                    "." + std::to_string(1 + i % 250) + "\"}";
    too_many += "]";
    const Case cases[] = {
        {"bad address", R"([{"ip":"198.18.1.2"},{"ip":"198.18.1.300"}])", "record 2: ip: "},
        {"broadcast address", R"([{"ip":"255.255.255.255"}])", "record 1: ip: "},
        {"no address", R"([{"system_name":"x"}])", "record 1: ip: missing"},
        {"same address twice", R"([{"ip":"198.18.1.2"},{"ip":"198.18.1.2"}])",
         "record 2: ip: 198.18.1.2 is in record 1 too"},
        {"same MAC twice",
         R"([{"ip":"198.18.1.2","mac":"020000000002"},{"ip":"198.18.1.3","mac":"02-00-00-00-00-02"}])",
         "record 2: mac: 020000000002 is in record 1 too"},
        {"bad MAC", R"([{"ip":"198.18.1.2","mac":"0200000000"}])", "record 1: mac: "},
        {"long name", R"([{"ip":"198.18.1.2","system_name":"123456789012345678901"}])",
         "record 1: system_name: longer than 20 characters"},
        {"beyond Latin-1", R"([{"ip":"198.18.1.2","location":"Lager €"}])",
         "record 1: location: a character beyond Latin-1"},
        {"typo", R"([{"ip":"198.18.1.2","sytem_name":"x"}])",
         "record 1: unknown field \"sytem_name\""},
        {"number", R"([{"ip":"198.18.1.2","location":5}])", "record 1: location: not a text"},
        {"not an object", R"([{"ip":"198.18.1.2"}, 7])", "record 2: not an object"},
        {"not an array", R"({"ip":"198.18.1.2"})", "an array of records was expected"},
        {"broken JSON", R"([{"ip":"198.18.1.2"})", "not valid JSON"},
        {"bad mask", R"([{"ip":"198.18.1.2","subnet_mask":"255.0"}])", "record 1: subnet_mask: "},
        {"lines: column count", "ip\tmac\n198.18.1.2\n", "line 2: 1 values for 2 columns"},
        {"lines: escape", "ip\tlocation\n198.18.1.2\thall\\x\n", "line 2: location: a backslash"},
        {"lines: unknown column", "ip\tsytem_name\n", "line 1: unknown column \"sytem_name\""},
        {"too many", too_many, "257 records: the monitor list holds at most 256"},
    };
    for (const Case& c : cases) {
        const ImportResult result = Import(c.text, KnownFile());
        EXPECT_NE(result.error.find(c.error), std::string::npos) << c.what << ": " << result.error;
        EXPECT_TRUE(result.records.empty()) << c.what;
    }
}

TEST(CliMonitorText, LinesFormSkipsCommentsAndKeepsEscapedCharacters) {
    const ImportResult result = Import("# fleet of the north hall\n"
                                       "ip\tsystem_name\tlocation\n"
                                       "\n"
                                       "198.18.1.2\ta\\tb\track \\\\ 3\n",
                                       {});
    ASSERT_EQ(result.error, "");
    ASSERT_EQ(result.records.size(), 1u);
    EXPECT_EQ(kestrel::FieldText(result.records[0].system_name), "a\tb");
    EXPECT_EQ(kestrel::FieldText(result.records[0].location), "rack \\ 3");
}

} // namespace
