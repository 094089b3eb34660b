// The window tests run in-process against the real window, like the program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "ui/Application.h"

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    kestrino::Application().Initialize();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
