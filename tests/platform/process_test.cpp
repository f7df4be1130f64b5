#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "platform/process.hpp"

namespace {

TEST(Process, ExecutablePathIsTheRunningProgram) {
  std::string path;
  ASSERT_TRUE(current_executable_path(&path));
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], '/');
  const std::string name = "/test_platform";
  ASSERT_GE(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
  EXPECT_EQ(access(path.c_str(), X_OK), 0);
}

TEST(Process, IdIsThisProcess) {
  EXPECT_EQ(current_process_id(), int32_t(getpid()));
}

}  // namespace
