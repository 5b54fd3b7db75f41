#pragma once
// A test fixture with a current headless GL context of a fixed size.
#include <gtest/gtest.h>

#include <memory>

#include "render/headless_context.h"

namespace kestrova::test {

class HeadlessGL : public ::testing::Test {
 protected:
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 240;

  void SetUp() override {
    context_ = std::make_unique<HeadlessContext>(kWidth, kHeight);
    ASSERT_TRUE(context_->isValid()) << context_->error();
  }

  std::unique_ptr<HeadlessContext> context_;
};

}  // namespace kestrova::test
