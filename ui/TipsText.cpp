#include "ui/UnitMain.h"

namespace kestrino {

// Sixteen lines, CR LF between them.
const wchar_t kTipsText[] =
    L"\r\n"
    L"IMEI 码由15位数字组成，其中第15位(IME15)是检验位，是通过将前14(IMEI14)运算得出的，\r\n"
    L"\r\n"
    L"计算公式公式如下：\r\n"
    L"\r\n"
    L"  IMEI15= 绝对值( (iSum+eSum) 除以10的余数 - 10 );\r\n"
    L"\r\n"
    L"  IMEI14：从左到右分别为第1，2，3~14位。第14位为奇数位，第13位为偶数位\r\n"
    L"\r\n"
    L"  其中,eSum = 7位偶数累加 \r\n"
    L"\r\n"
    L"       iSum = 7位奇数位*2除以10的整数 累加 + 奇数位*2除以10的余数累加\r\n"
    L"\r\n"
    L"************************************************************************************\r\n"
    L"\r\n"
    L"IMEI 码生成以后，按鼠标右键可将 IMEI 码复制 或者保存成文字档案。 ";

}  // namespace kestrino
