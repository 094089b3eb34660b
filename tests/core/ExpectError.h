#pragma once
// "This call raises EConvertError with this message", for EXPECT_TRUE.

#include "core/Exception.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace kestrino {

template <typename Call>
::testing::AssertionResult RaisesConvertError(Call&& call, std::string_view message) {
    try {
        call();
    } catch (const EConvertError& e) {
        if (e.Message() == message) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "EConvertError \"" << e.Message() << "\", expected \"" << message << "\"";
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << "another error: \"" << e.what() << "\"";
    }
    return ::testing::AssertionFailure() << "no EConvertError, expected \"" << message << "\"";
}

}  // namespace kestrino
