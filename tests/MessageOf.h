// Runs Body and returns the message of the E it raised; fails the test if it raised none.
#pragma once

#include <gtest/gtest.h>

#include <string>

template <class E, class F> std::string MessageOf(F Body) {
    try {
        Body();
    } catch (const E& Error) {
        return Error.Message();
    }
    ADD_FAILURE() << "the expected exception was not raised";
    return {};
}
