#include <gtest/gtest.h>

#include "results/Gbk.h"
#include "results/ReportBlock.h"
#include "tests/results/TestBytes.h"

TEST(Gbk, ReportTextsBecomeTheirCodePage936Bytes) {
    EXPECT_EQ(ToGbk(" 大地网接地参数测试数据"),
              Hex("20 b4f3 b5d8 cdf8 bdd3 b5d8 b2ce cafd b2e2 cad4 cafd bedd"));
    EXPECT_EQ(ToGbk("Φ：30.00°"), Hex("a6b5 a3ba 33302e3030 a1e3"));
    EXPECT_EQ(ToGbk("Z ：1.500kΩ"), Hex("5a20 a3ba 312e353030 6b a6b8"));
    EXPECT_EQ(ToGbk("第001条"), Hex("b5da 303031 ccf5"));
    EXPECT_EQ(ToGbk(""), "");
    EXPECT_EQ(ToGbk("over   "), "over   ");
}

TEST(Gbk, CharacterWithoutGbkCodeBecomesOneQuestionMark) {
    // ä and the emoji have no code in GBK; the text around them survives.
    EXPECT_EQ(ToGbk("aäb"), "a?b");
    EXPECT_EQ(ToGbk("测\xF0\x9F\x98\x80试"), Hex("b2e2 3f cad4"));
    EXPECT_EQ(GbkLength("\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), 2u);
}

TEST(Gbk, BytesThatAreNotUtf8BecomeOneQuestionMarkEach) {
    EXPECT_EQ(ToGbk("A\xFF"
                    "B"),
              "A?B");
    EXPECT_EQ(ToGbk("\xB4\xF3"), "??");       // GBK bytes passed in by mistake
    EXPECT_EQ(ToGbk("x\xE6\xB5"), "x??");     // a sequence cut off at the end
    EXPECT_EQ(ToGbk("\xED\xA0\x80"), "???");  // an encoded surrogate
    EXPECT_EQ(ToGbk("\xC0\xAF"), "??");       // an overlong '/'
    EXPECT_EQ(ToGbk(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Gbk, LongTextConvertsWhole) {
    std::string text;
    for (int k = 0; k < 5000; ++k) text += "测";
    const std::string bytes = ToGbk(text);
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(bytes.substr(9998), Hex("b2e2"));
}

TEST(Gbk, ResultFileBytesReadBackAndBytesThatAreNotGbkAreRefused) {
    EXPECT_EQ(FromGbk(Hex("20 b4f3 b5d8 cdf8 bdd3 b5d8 b2ce cafd b2e2 cad4 cafd bedd")),
              " 大地网接地参数测试数据");
    const std::string texts = "Φ：30.00° Z ：1.500kΩ 第001条 测试时间：2017.02.16 接通 平均值";
    EXPECT_EQ(FromGbk(ToGbk(texts)), texts);
    EXPECT_EQ(FromGbk(""), "");
    EXPECT_EQ(FromGbk("\xFF"), std::nullopt);      // no GBK byte
    EXPECT_EQ(FromGbk("U \xA3"), std::nullopt);    // a lead byte cut off at the end
    EXPECT_EQ(FromGbk("\xB4\x30"), std::nullopt);  // a trail byte GBK does not have
    EXPECT_EQ(FromGbk("\xAA\xA1"), std::nullopt);  // user-defined: no character in GBK
}

TEST(Gbk, LengthCountsDoubleByteCharactersAsTwo) {
    EXPECT_EQ(GbkLength(" 大地网接地参数测试数据"), 23u);
    EXPECT_EQ(GbkLength("U ：0.000mV"), 11u);
    EXPECT_EQ(GbkLength("Date：2017-02-16 12:30:30"), 25u);
    EXPECT_EQ(GbkLength("测试时间：2017.02.16 12:30:30"), 29u);
    EXPECT_EQ(GbkLength("Φ：0.000°"), 11u);  // Φ and ° are full width
}

TEST(PadRight, FillsLinesUpToTheWidthToOneByteMore) {
    EXPECT_EQ(PadRight("", 24), std::string(25, ' '));
    EXPECT_EQ(PadRight(" 大地网接地参数测试数据", 24), " 大地网接地参数测试数据  ");
    EXPECT_EQ(PadRight("========================", 24), "======================== ");
    EXPECT_EQ(PadRight("U ：0.000mV", 24), "U ：0.000mV" + std::string(14, ' '));
    EXPECT_EQ(GbkLength(PadRight("Φ：30.00°", 24)), 25u);
}

TEST(PadRight, LeavesLongerLinesAsTheyAre) {
    EXPECT_EQ(PadRight("Date：2017-02-16 12:30:30", 24), "Date：2017-02-16 12:30:30");
    EXPECT_EQ(PadRight("测试时间：2017.02.16 12:30:30", 24), "测试时间：2017.02.16 12:30:30");
    EXPECT_EQ(PadRight("abc", -5), "abc");
    EXPECT_EQ(PadRight("", -1), "");
}

TEST(PadRight, PrintFormIsThreeFilledEmptyLinesThenTheFilledBlock) {
    const std::vector<std::string> block{"第001条", "", "Date：2017-02-16 12:30:30"};
    const std::string blank25(25, ' ');
    EXPECT_EQ(PrintForm(block),
              (std::vector<std::string>{blank25, blank25, blank25, "第001条" + std::string(18, ' '),
                                        blank25, "Date：2017-02-16 12:30:30"}));
}
