#include "mailer/smtp/body_encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "mail_oracle.h"
#include "mailer/smtp/base64.h"

namespace wardlet::smtp {
namespace {

using test::RunOracle;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

size_t LongestLine(const std::string& text) {
    size_t longest = 0;
    for (const auto& line : Lines(text))
        longest = std::max(longest, line.size());
    return longest;
}

std::string RandomBytes(size_t n, unsigned seed, bool withoutLineBreaks = false) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (auto& c : bytes) {
        do
            c = static_cast<char>(random() & 0xFF);
        while (withoutLineBreaks && (c == '\r' || c == '\n'));
    }
    return bytes;
}

std::string Encoded(SmtpEncoding encoding, const std::string& input, std::string* name = nullptr) {
    std::string text;
    std::string encodingName;
    EncodeBody(encoding, text, encodingName, std::string_view(input));
    if (name) *name = encodingName;
    return text;
}

TEST(ChooseEncoding, PicksByPrintableShareLongLinesAndHighBytes) {
    std::string hundred(100, 'a');
    for (int i = 0; i < 11; ++i)
        hundred[i * 9] = static_cast<char>(0x80 + i);
    EXPECT_EQ(ChooseEncoding(hundred), kEncodingBase64);  // 89 % printable
    hundred[90] = 'a';
    EXPECT_EQ(ChooseEncoding(hundred), kEncoding8Bit);  // 90 %, no long line

    std::string first = "Short first line\r\n";
    EXPECT_EQ(ChooseEncoding(first + std::string(77, 'x') + "\r\nend\r\n"),
              kEncodingQuotedPrintable);
    EXPECT_EQ(ChooseEncoding(first + std::string(76, 'x') + "\r\nend\r\n"), kEncoding7Bit);
    // The first line counts one character less: the count skips a line feed that is not there.
    EXPECT_EQ(ChooseEncoding(std::string(77, 'x') + "\r\n"), kEncoding7Bit);
    EXPECT_EQ(ChooseEncoding(std::string(78, 'x') + "\r\n"), kEncodingQuotedPrintable);
    // Text after the last CR is never a long line.
    EXPECT_EQ(ChooseEncoding(std::string(500, 'x')), kEncoding7Bit);
    EXPECT_EQ(ChooseEncoding(""), kEncoding7Bit);
    EXPECT_EQ(ChooseEncoding(std::string(50, 'a') + std::string(1, '\0')), kEncoding8Bit);
    EXPECT_EQ(ChooseEncoding(std::string("a\0b", 3)), kEncodingBase64);
}

TEST(WrapLines, CutsAtWidthOrAfterABreakCharacter) {
    std::string out;
    WrapLines(out, std::string(100, 'x'), 76);
    EXPECT_EQ(out, std::string(76, 'x') + "\r\n" + std::string(24, 'x'));

    // A break character at the last allowed place is kept on the first piece.
    std::string atEdge = std::string(75, 'a') + " " + std::string(10, 'b');
    WrapLines(out, atEdge, 76);
    EXPECT_EQ(out, std::string(75, 'a') + " \r\n" + std::string(10, 'b'));

    // Otherwise the cut goes back to the nearest break; the space stays trailing.
    std::string words = std::string(70, 'a') + " " + std::string(20, 'b') + "\r\nnext";
    WrapLines(out, words, 76);
    EXPECT_EQ(out, std::string(70, 'a') + " \r\n" + std::string(20, 'b') + "\r\nnext");

    // A lone CR ends a line like CR LF; a lone LF stays inside the line.
    WrapLines(out, "one\rtwo\nthree\r\n", 76);
    EXPECT_EQ(out, "one\r\ntwo\nthree\r\n");
    WrapLines(out, "", 76);
    EXPECT_EQ(out, "");
}

TEST(WrapLines, KeepsEveryCharacterAndNoLineIsLonger) {
    std::mt19937 random(7);
    const std::string alphabet = "abcdefghij      -;.,?!XYZ";
    for (int round = 0; round < 50; ++round) {
        std::string text;
        int lines = 1 + random() % 5;
        for (int l = 0; l < lines; ++l) {
            int length = random() % 400;
            for (int i = 0; i < length; ++i)
                text += alphabet[random() % alphabet.size()];
            if (l + 1 < lines) text += "\r\n";
        }
        std::string out;
        WrapLines(out, text, 76);
        EXPECT_LE(LongestLine(out), 76u);
        // Joining the pieces of each input line gives the input back.
        std::string joined;
        auto outLines = Lines(out);
        auto inLines = Lines(text);
        size_t o = 0;
        for (size_t l = 0; l < inLines.size(); ++l) {
            std::string rebuilt;
            while (rebuilt.size() < inLines[l].size() && o < outLines.size())
                rebuilt += outLines[o++];
            if (inLines[l].empty()) ++o;
            EXPECT_EQ(rebuilt, inLines[l]) << "round " << round << " line " << l;
        }
    }
}

TEST(QuotedPrintable, LineLimitsAndEscapes) {
    std::string out;
    EncodeQuotedPrintable(out, std::string(80, 'x'));
    EXPECT_EQ(out, std::string(75, 'x') + "=\r\n" + std::string(5, 'x'));

    EncodeQuotedPrintable(out, "ends in space \r\ntab\t\r\n");
    EXPECT_EQ(out, "ends in space=20\r\ntab=09\r\n");

    EncodeQuotedPrintable(out, "a=b\xE9\x7F");
    EXPECT_EQ(out, "a=3Db=E9=7F");

    EncodeQuotedPrintable(out, std::string(76, 'y'));
    EXPECT_EQ(out, std::string(76, 'y'));  // exactly 76: not broken

    // A trailing space on a full line grows it past 76: the escape moves to its own line.
    EncodeQuotedPrintable(out, std::string(75, 'z') + " ");
    EXPECT_EQ(out, std::string(75, 'z') + "=\r\n=20");

    // An escape that would straddle the cut is moved whole to the next line.
    for (size_t before : {72u, 73u, 74u, 75u}) {
        EncodeQuotedPrintable(out, std::string(before, 'a') + "\xE9" + std::string(20, 'b'));
        for (const auto& line : Lines(out)) {
            EXPECT_LE(line.size(), 76u);
            for (size_t i = 0; i < line.size(); ++i) {
                if (line[i] != '=') continue;
                bool soft = i + 1 == line.size();
                EXPECT_TRUE(soft || (i + 2 < line.size() + 0 && isxdigit(line[i + 1]) &&
                                     isxdigit(line[i + 2])))
                    << "split escape after " << before << ": " << line;
            }
        }
        EXPECT_EQ(RunOracle("qp", out), std::string(before, 'a') + "\xE9" + std::string(20, 'b'));
    }
}

TEST(QuotedPrintable, PythonDecodesItBackToTheInput) {
    std::string text;
    for (unsigned line = 0; line < 40; ++line) {
        text += RandomBytes(line * 7 % 200, line, true);
        if (line % 3 == 0) text += "  ";  // trailing white space
        text += "\r\n";
    }
    std::string out;
    EncodeQuotedPrintable(out, text);
    EXPECT_LE(LongestLine(out), 76u);
    EXPECT_EQ(test::Hex(RunOracle("qp", out)), test::Hex(text));
}

TEST(Base64, EncodeIsDecodedBackByPython) {
    for (size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 57u, 100u, 1000u, 9000u}) {
        std::string data = RandomBytes(n, static_cast<unsigned>(n));
        std::string name;
        std::string text = Encoded(kEncodingBase64, data, &name);
        EXPECT_EQ(name, "base64");
        EXPECT_LE(LongestLine(text), 76u);
        EXPECT_EQ(test::Hex(RunOracle("b64", text)), test::Hex(data)) << n << " bytes";
    }
    std::string hundred = Encoded(kEncodingBase64, RandomBytes(100, 1));
    ASSERT_EQ(hundred.size(), 76u + 2u + 60u);
    EXPECT_EQ(hundred.substr(76, 2), "\r\n");
    EXPECT_NE(hundred.back(), '\n');
}

TEST(Base64, DecodeSkipsLineBreaksAndSpacesAndReadsAsText) {
    CBase64 b64;
    b64.DecodeString("SGVs\r\nbG8g d29y\tbGQ=");
    EXPECT_STREQ(reinterpret_cast<const char*>(b64.GetDecoded()), "Hello world");
    b64.DecodeString("VXNlciBOYW1lAA==");  // "User Name" and a NUL, as some servers prompt
    EXPECT_STREQ(reinterpret_cast<const char*>(b64.GetDecoded()), "User Name");
    std::string highBit = "\xD1\xC1==";  // 'Q' and 'A' with their top bit set
    b64.Decode(highBit.data(), 4);
    EXPECT_STREQ(reinterpret_cast<const char*>(b64.GetDecoded()), "@");
    b64.DecodeString(nullptr);  // nothing happens
    EXPECT_STREQ(reinterpret_cast<const char*>(b64.GetDecoded()), "@");
}

TEST(Base64, ReusedBuffersHoldNoStaleBytes) {
    CBase64 b64;
    EXPECT_STREQ(b64.GetEncoded(), "");
    std::string big(10000, 'q');
    b64.EncodeString(big.c_str());
    b64.EncodeString("hi");
    EXPECT_STREQ(b64.GetEncoded(), "aGk=");
    EXPECT_EQ(b64.encodedLength(), 4u);
    b64.DecodeString(std::string(8000, 'A').c_str());
    b64.DecodeString("aGk=");
    EXPECT_STREQ(reinterpret_cast<const char*>(b64.GetDecoded()), "hi");
    b64.EncodeString("");
    EXPECT_STREQ(b64.GetEncoded(), "");
}

TEST(EncodeBody, SevenBitEightBitAndDotStuffing) {
    std::string name;
    EXPECT_EQ(Encoded(kEncoding7Bit, "caf\xE9\r\n", &name), "caf?\r\n");
    EXPECT_EQ(name, "7bit");
    EXPECT_EQ(Encoded(kEncoding8Bit, "caf\xE9\r\n", &name), "caf\xE9\r\n");
    EXPECT_EQ(name, "8bit");
    // Text encodings stop at a zero byte; base64 takes every byte.
    EXPECT_EQ(Encoded(kEncoding7Bit, std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(RunOracle("b64", Encoded(kEncodingBase64, std::string("ab\0cd", 5))),
              std::string("ab\0cd", 5));

    EXPECT_EQ(Encoded(kEncodingAuto, "one\r\n.\r\ntwo\r\n", &name), "one\r\n..\r\ntwo\r\n");
    EXPECT_EQ(name, "7bit");
    EXPECT_EQ(Encoded(kEncodingAuto, ".starts\r\n.. two\r\n"), "..starts\r\n... two\r\n");
    // A period that a wrap puts at a line start is stuffed as well.
    std::string wrapped = Encoded(kEncodingAuto, std::string(76, 'x') + ".end");
    EXPECT_EQ(wrapped, std::string(76, 'x') + "\r\n..end");

    // The text itself is the input when no data is given.
    std::string text = "caf\xE9 au lait\r\n";
    EncodeBody(kEncodingAuto, text, name);
    EXPECT_EQ(name, "8bit");
    EXPECT_EQ(text, "caf\xE9 au lait\r\n");
    std::string longText = "x\r\n" + std::string(200, 'y') + "\r\n";
    EncodeBody(kEncodingAuto, longText, name);
    EXPECT_EQ(name, "quoted-printable");
    EXPECT_EQ(RunOracle("qp", longText), "x\r\n" + std::string(200, 'y') + "\r\n");
}

}  // namespace
}  // namespace wardlet::smtp
