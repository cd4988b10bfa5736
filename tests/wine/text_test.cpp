// The code-page conversions at the "A" functions, with the Chinese ANSI code page (936).
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/text.h"

namespace {

TEST(AnsiText, RoundTripsChineseThroughTheGbkCodePage) {
    ASSERT_EQ(GetACP(), 936u) << "run with LC_ALL=zh_CN.GBK";
    const std::string chinese = "欢迎使用澜栖OA系统";
    const std::string ansi = win32::toAnsi(chinese);
    EXPECT_EQ(ansi.size(), 8u * 2 + 2);  // eight ideographs at two bytes, "OA" at one
    EXPECT_EQ(win32::fromAnsi(ansi), chinese);
    EXPECT_EQ(win32::toAnsi("C:\\OA"), "C:\\OA");
    EXPECT_EQ(win32::narrow(win32::widen("中文")), "中文");
    EXPECT_EQ(win32::widen("中文").size(), 2u);
}

}  // namespace
