// A pipe where the program expects a file of the game or of Wine (someone's
// named pipe, or a prefix made by a tool) once held the start for ever: the
// reader waited for a writer. Every such read now gives nothing at once.
// Should one block after all, the test writes to the pipe after a while,
// which lets the read go on, and fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>

#include "platform/core/FileSystem.h"
#include "platform/core/PeVersion.h"
#include "platform/core/WineRegistry.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// Whether `read` waited on the pipe.
bool Blocks(const std::string& pipe, const std::function<void()>& read) {
  auto done = std::async(std::launch::async, read);
  const bool blocked = done.wait_for(std::chrono::seconds(20)) != std::future_status::ready;
  if (blocked) {
    const int fd = ::open(pipe.c_str(), O_WRONLY);
    if (fd >= 0) ::close(fd);
  }
  done.wait();
  return blocked;
}

TEST(PipeReads, FilesOfTheGameAndOfWineThatArePipesGiveNothingAtOnce) {
  test::TempDir dir;
  const std::string pipe = dir / "WorldOfTanks.exe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

  std::optional<TFileVersion> version{TFileVersion{1, 2, 3, 4}};
  EXPECT_FALSE(Blocks(pipe, [&] { version = ReadPeFileVersionOfFile(pipe); }));
  EXPECT_EQ(version, std::nullopt);

  std::string bytes = "unread";
  EXPECT_FALSE(Blocks(pipe, [&] { bytes = ReadRegularFile(pipe); }));
  EXPECT_EQ(bytes, "");

  bool empty = false;
  EXPECT_FALSE(Blocks(pipe, [&] { empty = TWineHive::Load(pipe).KeyCount() == 0; }));
  EXPECT_TRUE(empty);
}

}  // namespace
}  // namespace ond
