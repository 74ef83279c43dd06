#pragma once

// Shared test helpers of the scheme model: streams built with the scheme writer, exact-message
// checks and the sample scheme file.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/saver.h"
#include "tools/schemewriter.h"

// A stream holding the bytes written so far, positioned at its start.
std::unique_ptr<TSpecDataStream> StreamOf(const SchemeWriter& writer);
// A stream holding the first `size` bytes written, for truncations.
std::unique_ptr<TSpecDataStream> StreamOfPrefix(const SchemeWriter& writer, std::size_t size);

// Succeeds when f raises a std::exception whose what() is exactly `message`.
template <class F>
::testing::AssertionResult RaisesWhat(F&& f, const std::string& message) {
  try {
    f();
  } catch (const std::exception& e) {
    if (e.what() == message) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "raised \"" << e.what() << "\" instead of \"" << message << "\"";
  }
  return ::testing::AssertionFailure() << "nothing raised, expected \"" << message << "\"";
}

#define EXPECT_RAISES_WHAT(statement, message) \
  EXPECT_TRUE(RaisesWhat([&] { (void)(statement); }, (message)))

// Path of the sample scheme the build writes.
std::string SampleSchemePath();
