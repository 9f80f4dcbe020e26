// Output targets that are not plain files: symbolic links, FIFOs, standard output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "io/output_file.hpp"
#include "model/errors.hpp"
#include "support/test_support.hpp"

namespace vorb::test {
namespace {
namespace fs = std::filesystem;

void write(const std::string& path, const std::string& text) {
  OutputFile out(path);
  out.line(text);
  out.commit();
}

TEST(OutputFile, SymbolicLinksAreWrittenThroughAndStayLinks) {
  TempDir d;
  fs::create_directory(d.path() / "sub");
  write_file(d.file("sub/real.txt"), "old\n");
  fs::create_symlink("sub/real.txt", d.path() / "link");  // relative, through a second link
  fs::create_symlink("link", d.path() / "link2");
  write(d.file("link2"), "new");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(d.path() / "link2")));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(d.path() / "link")));
  EXPECT_EQ(read_file(d.file("sub/real.txt")), "new\n");
  // A link to a file not there yet creates it; nothing is left beside either name.
  fs::create_symlink(d.path() / "sub/made.txt", d.path() / "dangling");
  write(d.file("dangling"), "made");
  EXPECT_EQ(read_file(d.file("sub/made.txt")), "made\n");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(d.path() / "dangling")));
  int entries = 0;
  for (const auto& e : fs::recursive_directory_iterator(d.path())) entries += !e.is_directory();
  EXPECT_EQ(entries, 5);
  // A loop of links is refused.
  fs::create_symlink("loop2", d.path() / "loop1");
  fs::create_symlink("loop1", d.path() / "loop2");
  EXPECT_THROW(write(d.file("loop1"), "x"), InputError);
}

TEST(OutputFile, AFifoIsWrittenDirectlyAndNotReplaced) {
  TempDir d;
  const std::string fifo = d.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] {
    std::ifstream in(fifo, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    got = s.str();
  });
  {
    OutputFile out(fifo);
    out.line("one");
    out.line("two");
    out.commit();
  }
  reader.join();
  EXPECT_EQ(got, "one\ntwo\n");
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
  EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 1);
}

TEST(OutputFile, DashIsStandardOutputWrittenOnCommitOnly) {
  TempDir d;
  testing::internal::CaptureStdout();
  {
    OutputFile dropped("-");
    dropped.line("never");
  }
  write("-", "text");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "text\n");
  EXPECT_FALSE(fs::exists(fs::current_path() / "-"));
}

}  // namespace
}  // namespace vorb::test
