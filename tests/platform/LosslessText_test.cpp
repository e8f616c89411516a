#include "LosslessText.h"

#include <gtest/gtest.h>

namespace {

TEST(LosslessText, AnyBytesComeBackUnchangedAndUtf8ReadsAsItself)
{
    // Every one- and two-byte name, and the sequences a careless decoder mixes up: surrogates
    // spelt in UTF-8, overlong forms, code points past U+10FFFF, cut-off sequences, and a proper
    // pair whose low half lies among the escapes (U+10080).
    std::vector<QByteArray> names;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) names.push_back(QByteArray(1, char(a)) + char(b));
    for (const char* tricky : {"\xED\xB2\x80", "\xED\x9F\xBF", "\xC0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80",
                               "\xF0\x90\x82\x80", "\xE3\x81", "/home/me/\xE3\x81x\xFF.wav", "\xF0\x90\x82\x80\xFF", "a\xEF\xBB\xBFz"})
        names.emplace_back(tricky);
    for (const QByteArray& bytes : names) ASSERT_EQ(bytesFromText(textFromBytes(bytes)), bytes) << bytes.toHex().constData();

    const QString japanese = QStringLiteral("/home/me/発車ベル🔔.wav");
    EXPECT_EQ(textFromBytes(japanese.toUtf8()), japanese);
    EXPECT_EQ(bytesFromText(japanese), japanese.toUtf8());
    EXPECT_EQ(textFromBytes("\xF0\x90\x82\x80"), QString::fromUtf8("\xF0\x90\x82\x80"));

    EXPECT_EQ(displayText(textFromBytes("bell\x82\xA0.wav")), QStringLiteral("bell\uFFFD\uFFFD.wav"));
    EXPECT_EQ(displayText(textFromBytes("\xF0\x90\x82\x80")), QString::fromUtf8("\xF0\x90\x82\x80"));
}

} // namespace
