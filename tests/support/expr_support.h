#pragma once

// Shared test helpers of the expression subsystem: exact-message assertions, a guard for the
// process-wide locale decimal separator and a recording message window.
// Created with the value-text tests; the expression-engine tests add their helpers here too
// (add, never change the behaviour of an existing helper).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/messages.h"

// Succeeds when calling f raises an Exception whose what() is exactly `message`; fails with the
// message actually raised (or "nothing raised") otherwise.
template <class F>
::testing::AssertionResult RaisesMessage(F&& f, const std::string& message) {
  try {
    f();
  } catch (const Exception& e) {
    if (e.what() == message) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "raised \"" << e.what() << "\" instead of \"" << message << "\"";
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure()
           << "raised a foreign exception \"" << e.what() << "\" instead of \"" << message << "\"";
  }
  return ::testing::AssertionFailure() << "nothing raised, expected \"" << message << "\"";
}

// EXPECT_RAISES(statement, "exact message")
#define EXPECT_RAISES(statement, message) \
  EXPECT_TRUE(RaisesMessage([&] { (void)(statement); }, (message)))

// Sets the locale decimal separator for the lifetime of the guard and restores the previous one.
class SeparatorGuard {
 public:
  explicit SeparatorGuard(char separator);
  ~SeparatorGuard();
  SeparatorGuard(const SeparatorGuard&) = delete;
  SeparatorGuard& operator=(const SeparatorGuard&) = delete;

 private:
  char Previous;
};

// A message window that records every text shown; installs itself while it lives. OnShow, when
// set, runs inside ShowMessage (as a nested event loop would run code while the box is open).
class RecordingMessageWindow : public IMessageWindow {
 public:
  RecordingMessageWindow();
  ~RecordingMessageWindow() override;
  RecordingMessageWindow(const RecordingMessageWindow&) = delete;
  RecordingMessageWindow& operator=(const RecordingMessageWindow&) = delete;

  void ShowMessage(const std::string& text) override;

  std::vector<std::string> Shown;
  std::function<void(const std::string&)> OnShow;

 private:
  IMessageWindow* Previous;
};
