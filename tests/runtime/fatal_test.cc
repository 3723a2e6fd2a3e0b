#include "runtime/fatal.h"

#include <gtest/gtest.h>

#include "runtime/conversion_commands.h"
#include "runtime/gbk.h"

namespace rt {
namespace {

TEST(FatalReportText, HasOnlyTheLinesThatApply) {
  EXPECT_EQ(FatalReportText(0, ""), "运行时出错!\r\n\r\n"_gbk);
  EXPECT_EQ(FatalReportText(7, "坏"_gbk), "运行时出错!\r\n\r\n错误代码：7\r\n\r\n错误信息：坏\r\n"_gbk);
  EXPECT_EQ(FatalReportText(0, "x"), "运行时出错!\r\n\r\n错误信息：x\r\n"_gbk);
}

TEST(FatalErrorDeathTest, ZeroDivisorEndsTheProcessWithTheReport) {
  EXPECT_EXIT(Remainder(5, {2, 0}), ::testing::ExitedWithCode(255), "不能求余数于零");
}

TEST(FatalErrorDeathTest, UnknownDataKindEndsTheProcessWithTheReport) {
  EXPECT_EXIT(ReadBytesData(Bytes{1}, 11), ::testing::ExitedWithCode(255),
              "“欲取出数据的类型”参数值无效");
  EXPECT_EXIT(ReadBytesData(Bytes{1}, 0), ::testing::ExitedWithCode(255), "运行时出错!");
}

}  // namespace
}  // namespace rt
