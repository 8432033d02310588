#pragma once
// The message a call fails with, for the tests that check the texts of their errors.
#include <exception>
#include <functional>
#include <string>

// The message of the E the call throws; empty when it throws nothing. Other exceptions pass.
template <class E = std::exception> std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}
