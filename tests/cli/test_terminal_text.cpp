// kestrel-cli's one way of showing agents' 8-bit texts: literal bytes in,
// literal bytes out.

#include "TerminalText.h"

#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>

#include <string>

using namespace kestrel::cli;

namespace {

TEST(TerminalText, ShowsEveryControlCharacterAsAnEscape) {
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain", "Port 1 link up", "Port 1 link up"},
        {"window title, bell, fake line", "\x1b]0;owned\x07\r\nfake line",
         "\\x1b]0;owned\\x07\\r\\nfake line"},
        {"colour", "\x1b[31mred", "\\x1b[31mred"},
        {"NUL, backspace, tab, form feed", std::string("a\0b\bc\td\f", 8),
         "a\\x00b\\x08c\\td\\x0c"},
        {"DEL", "x\x7fy", "x\\x7fy"},
        {"C1: first, CSI, last",
         "\x80\x9b"
         "2J\x9f",
         "\\x80\\x9b2J\\x9f"},
        {"backslash", "C:\\fw", "C:\\\\fw"},
        {"Latin-1 letters as UTF-8", "\xa0\xe9\xff", "\xc2\xa0\xc3\xa9\xc3\xbf"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TerminalText(c.text), c.shown);
    }
}

// Whatever byte an agent sends, what is printed is valid UTF-8 without a
// control character.
TEST(TerminalText, NoByteComesOutAsAControlCharacter) {
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const std::string shown = TerminalText(std::string(1, static_cast<char>(byte)));
        const QString decoded =
            QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
        EXPECT_EQ(decoded.toStdString(), shown) << "valid UTF-8";
        for (const QChar c : decoded) {
            const char16_t u = c.unicode();
            EXPECT_TRUE(u >= 0x20 && u != 0x7f && !(u >= 0x80 && u <= 0x9f)) << int(u);
        }
        EXPECT_EQ(decoded.size(), TerminalWidth(shown));
    }
}

TEST(TerminalText, WidthCountsCharactersNotBytes) {
    EXPECT_EQ(TerminalWidth("abc"), 3u);
    EXPECT_EQ(TerminalWidth("\xc3\xa9t\xc3\xa9"), 3u);
    EXPECT_EQ(TerminalWidth(TerminalText("\x1b\xe9")), 5u); // \x1b and é
    EXPECT_EQ(TerminalWidth(""), 0u);
}

// Qt's JSON escapes the C0 controls; DEL and the C1 controls get the same.
TEST(JsonText, EscapesDelAndC1AsTheOtherControls) {
    QString text;
    for (const char16_t c : {u'\x1b', u'\x7f', u'\x80', u'\x9b', u'\x9f', u'\xa0', u'\xe9', u'a'})
        text.append(QChar(c));
    const QJsonDocument document(QJsonObject{{QStringLiteral("t"), text}});
    EXPECT_EQ(JsonText(document, QJsonDocument::Compact),
              "{\"t\":\"\\u001b\\u007f\\u0080\\u009b\\u009f\xc2\xa0\xc3\xa9"
              "a\"}");
    EXPECT_EQ(JsonText(document, QJsonDocument::Indented),
              "{\n    \"t\": \"\\u001b\\u007f\\u0080\\u009b\\u009f\xc2\xa0\xc3\xa9"
              "a\"\n}\n");
    const QJsonDocument parsed = QJsonDocument::fromJson(
        QByteArray::fromStdString(JsonText(document, QJsonDocument::Compact)));
    EXPECT_EQ(parsed[QStringLiteral("t")].toString(), text);
}

} // namespace
