#include "platform/file_identity.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "temp_dir.hpp"

// A file is known by what it is, not by how it is spelt: other paths, links and hard links of
// a remembered file are found under the name it was remembered by; a file that merely has the
// same content, or a name that names nothing, is not.
TEST(FileIdentitySet, FindsEverySpellingOfAFile) {
  TempDir dir;
  const std::string a = dir.file("a.las", "same");
  const std::string b = dir.file("b.las", "same");
  ASSERT_EQ(symlink(a.c_str(), (dir.path + "/soft.las").c_str()), 0);
  ASSERT_EQ(link(a.c_str(), (dir.path + "/hard.las").c_str()), 0);
  FileIdentitySet set;
  EXPECT_TRUE(set.empty());
  EXPECT_TRUE(set.add(a.c_str()));
  EXPECT_FALSE(set.add((dir.path + "/missing.las").c_str()));
  EXPECT_FALSE(set.add(nullptr));
  for (const std::string& spelling : {a, dir.path + "/./a.las", dir.path + "//a.las",
                                      dir.path + "/soft.las", dir.path + "/hard.las"}) {
    const char* found = set.find(spelling.c_str());
    ASSERT_NE(found, nullptr) << spelling;
    EXPECT_EQ(std::string(found), a);
  }
  EXPECT_EQ(set.find(b.c_str()), nullptr);
  EXPECT_EQ(set.find((dir.path + "/missing.las").c_str()), nullptr);
  EXPECT_TRUE(paths_name_same_file(a.c_str(), (dir.path + "/hard.las").c_str()));
  EXPECT_FALSE(paths_name_same_file(a.c_str(), b.c_str()));
}

// Only a regular file itself is removed: never what a link points to, a directory or a pipe.
TEST(FileIdentity, RemovesOnlyRegularFiles) {
  TempDir dir;
  const std::string file = dir.file("f.las", "x");
  const std::string target = dir.file("target.las", "kept");
  const std::string soft = dir.path + "/soft.las";
  ASSERT_EQ(symlink(target.c_str(), soft.c_str()), 0);
  const std::string sub = dir.path + "/sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  const std::string fifo = dir.path + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(remove_regular_file(file.c_str()));
  EXPECT_NE(access(file.c_str(), F_OK), 0);
  for (const std::string& kept : {soft, sub, fifo}) {
    EXPECT_FALSE(remove_regular_file(kept.c_str())) << kept;
    struct stat info;
    EXPECT_EQ(lstat(kept.c_str(), &info), 0) << kept;
  }
  EXPECT_EQ(access(target.c_str(), F_OK), 0);
  EXPECT_FALSE(remove_regular_file((dir.path + "/missing").c_str()));
  EXPECT_FALSE(remove_regular_file(nullptr));
}
