// GBK text: conversion at the edges and the 1-based byte helpers.
#include "gbk.h"

#include <gtest/gtest.h>

TEST(Gbk, ConvertsBothWaysAndRefusesWhatCodePage936Lacks) {
    EXPECT_EQ("开始作业"_gbk, std::string("\xBF\xAA\xCA\xBC\xD7\xF7\xD2\xB5"));
    EXPECT_EQ(gbk::toUtf8("\xA3\xA9"), "）");
    EXPECT_EQ(gbk::toUtf8(gbk::fromUtf8("√×、（）＿")), "√×、（）＿");
    std::string bad;
    for (const char* text : {"•", "\xC2\xA0", "〜", "😀"}) {
        EXPECT_FALSE(gbk::encodable(std::string("a") + text, &bad)) << text;
        EXPECT_EQ(bad, text);
        EXPECT_THROW(gbk::fromUtf8(text), gbk::EncodingError);
    }
    EXPECT_THROW(gbk::toUtf8("\xBF"), gbk::EncodingError);  // lead byte cut off
}

TEST(Gbk, BytePositionsCountFromOne) {
    const struct {
        std::string needle, haystack;
        std::size_t at;
    } finds[] = {{"A) ", "xA) 1", 2}, {"B", "ABAB", 2}, {"", "abc", 0}, {"z", "abc", 0}, {"）"_gbk, "A）"_gbk, 2}};
    for (const auto& f : finds) EXPECT_EQ(gbk::pos(f.needle, f.haystack), f.at) << f.needle;

    const struct {
        long index, count;
        std::string out;
    } copies[] = {{1, 3, "abc"}, {2, 100, "bcdef"}, {0, 2, "ab"}, {-5, 1, "a"}, {6, 1, "f"}, {7, 1, ""}, {3, 0, ""}, {3, -1, ""}};
    for (const auto& c : copies) EXPECT_EQ(gbk::copy("abcdef", c.index, c.count), c.out) << c.index << "," << c.count;
}

TEST(Gbk, TrimmingDropsControlsAndBlanksOnly) {
    EXPECT_EQ(gbk::trim(" \t\r\n空 \x01"_gbk), "空"_gbk);
    EXPECT_EQ(gbk::trimRight("A) 1\r\n  "), "A) 1");
    EXPECT_EQ(gbk::trimLeft("  x "), "x ");
    EXPECT_EQ(gbk::trim(""), "");
    EXPECT_EQ(gbk::num(-1) + gbk::num(3600), "-13600");
}
