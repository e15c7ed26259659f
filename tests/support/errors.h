// What a call says when it refuses: its exception's message, for tests to compare.
#pragma once

#include <exception>
#include <string>

namespace testerrors {

/// The message of the E that `call` throws; "no error" when it returns.
template <class E = std::exception, class Call>
std::string messageOf(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace testerrors
