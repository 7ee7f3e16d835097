#include "util/textutil.h"
#include "util/workareageometry.h"

#include <gtest/gtest.h>

TEST(TextHelpers, ColumnOfRows)
{
    EXPECT_EQ(textutil::getColumn(QList<QStringList>{{"a", "b"}, {"c", "d"}}, 1), (QStringList{"b", "d"}));
    EXPECT_TRUE(textutil::getColumn(QList<QStringList>{}, 0).isEmpty());
    const std::vector<std::vector<int>> numbers{{1, 2}, {3, 4}};
    EXPECT_EQ(textutil::getColumn(numbers, 0), (std::vector<int>{1, 3}));
}

TEST(TextHelpers, FloatsKeepOnlyWholeNumbers)
{
    const std::vector<float> got = textutil::floatArrayFromStrings({"0.5", "", "x", "1e-2", "7", " 3", "4 ", "2x"});
    ASSERT_EQ(got.size(), 3u);
    EXPECT_FLOAT_EQ(got[0], 0.5f);
    EXPECT_FLOAT_EQ(got[1], 0.01f);
    EXPECT_FLOAT_EQ(got[2], 7.0f);
}

TEST(TextHelpers, IntsTruncateTowardZero)
{
    EXPECT_EQ(textutil::intArrayFromFloats({99.99f, 0.4f, 100.0f, 2.9f, -2.9f}), (std::vector<int>{99, 0, 100, 2, -2}));
}

TEST(TextHelpers, LastOccurrence)
{
    EXPECT_EQ(textutil::firstindexbeforestr("xxabyyab", "ab"), 6);
    EXPECT_EQ(textutil::firstindexbeforestr("xyz", "ab"), std::nullopt);
    EXPECT_EQ(textutil::firstindexbeforestr("xyz", ""), std::nullopt);
}

struct LeadingIntCase {
    const char* text;
    int value;
    bool overflow;
};

class LeadingInt : public ::testing::TestWithParam<LeadingIntCase> {};

TEST_P(LeadingInt, ReadsLikeAtoi)
{
    bool overflow = true;
    EXPECT_EQ(textutil::leadingInt(QString::fromUtf8(GetParam().text), &overflow), GetParam().value) << GetParam().text;
    EXPECT_EQ(overflow, GetParam().overflow) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingInt,
                         ::testing::Values(LeadingIntCase{"4abc", 4, false}, LeadingIntCase{" 7", 7, false},
                                           LeadingIntCase{"-3", -3, false}, LeadingIntCase{"+12x", 12, false},
                                           LeadingIntCase{"abc", 0, false}, LeadingIntCase{"", 0, false},
                                           LeadingIntCase{"-2147483648", -2147483647 - 1, false},
                                           LeadingIntCase{"2147483648", 2147483647, true},
                                           LeadingIntCase{"99999999999999999999", 2147483647, true}));

TEST(WorkArea, ScaleFactorFollowsThePaneShape)
{
    EXPECT_DOUBLE_EQ(workarea::scaleFactor(1200, 800, 1000, 742), 1.2);
    EXPECT_DOUBLE_EQ(workarea::scaleFactor(1200, 800, 600, 742), 800.0 / 742.0);
    EXPECT_DOUBLE_EQ(workarea::scaleFactor(800, 800, 500, 500), 800.0 / 500.0);  // square: by height
    EXPECT_DOUBLE_EQ(workarea::scaleFactor(800, 800, 0, 0), 1.0);
}
