// Output targets that are symbolic links, and standard output.
#include <gtest/gtest.h>

#include <filesystem>

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

// A chain of relative links and a link to a file not there yet are written through and stay
// links; a loop of links is refused. (FIFOs: Outputs.LinksAndFifosAmongTheOutputsAreWrittenThrough.)
TEST(OutputFile, SymbolicLinksAreWrittenThroughAndStayLinks) {
  TempDir d;
  fs::create_directory(d.path() / "sub");
  write_file(d.file("sub/real.txt"), "old\n");
  fs::create_symlink("sub/real.txt", d.path() / "link");
  fs::create_symlink("link", d.path() / "link2");
  write(d.file("link2"), "new");
  fs::create_symlink(d.path() / "sub/made.txt", d.path() / "dangling");
  write(d.file("dangling"), "made");
  for (const char* l : {"link", "link2", "dangling"}) EXPECT_TRUE(fs::is_symlink(d.path() / l)) << l;
  EXPECT_EQ(read_file(d.file("sub/real.txt")), "new\n");
  EXPECT_EQ(read_file(d.file("sub/made.txt")), "made\n");
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(d.path()), {}), 6);  // nothing else
  fs::create_symlink("loop2", d.path() / "loop1");
  fs::create_symlink("loop1", d.path() / "loop2");
  EXPECT_THROW(write(d.file("loop1"), "x"), InputError);
}

TEST(OutputFile, DashIsStandardOutputWrittenOnCommitOnly) {
  testing::internal::CaptureStdout();
  {
    OutputFile dropped("-");
    dropped.line("never");
  }
  write("-", "text");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "text\n");
  EXPECT_FALSE(fs::exists("-"));
}

}  // namespace
}  // namespace vorb::test
