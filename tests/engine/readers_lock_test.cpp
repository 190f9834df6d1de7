// The readers' lock between programs prefers writers: a writer that waits
// keeps new readers out, so a steady stream of reads cannot starve it, and a
// failed wait can tell whose lock it met.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "engine/storage/file_system.h"

using namespace kevra;

namespace {

struct LockedFile : ::testing::Test {
  std::string path;
  void SetUp() override {
    path = (std::filesystem::temp_directory_path() /
            ("kevra-readers-lock-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    realFileSystem().open(path, OpenMode::Create)->write("x", 1, 0);
  }
  void TearDown() override { std::filesystem::remove(path); }
  std::unique_ptr<File> open() { return realFileSystem().open(path, OpenMode::ReadWrite); }
};

// Polls until `file` sees `holder` in the way of the readers' lock.
bool becomes(File& file, LockHolder holder) {
  for (int i = 0; i < 400; ++i) {
    if (file.readersLockHolder() == holder) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace

TEST_F(LockedFile, AWaitingWriterQueuesNewReadersBehindItAndGetsInWhenTheOldReadEnds) {
  auto oldReader = open(), newReader = open(), writer = open();
  ASSERT_TRUE(oldReader->lockReaders(false, 0));
  auto waiting = std::async(std::launch::async, [&] { return writer->lockReaders(true, 5000); });
  ASSERT_TRUE(becomes(*newReader, LockHolder::Writer));

  // The read under way holds the writer off; a read that starts now waits.
  EXPECT_FALSE(newReader->lockReaders(false, 100));
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);

  oldReader->unlockReaders();
  ASSERT_TRUE(waiting.get());
  EXPECT_FALSE(newReader->lockReaders(false, 0));
  writer->unlockReaders();
  EXPECT_TRUE(newReader->lockReaders(false, 0));
  newReader->unlockReaders();
}

TEST_F(LockedFile, AWriterThatGivesUpLetsReadersInAgain) {
  auto reader = open(), writer = open(), later = open();
  ASSERT_TRUE(reader->lockReaders(false, 0));
  EXPECT_FALSE(writer->lockReaders(true, 50));
  EXPECT_EQ(writer->readersLockHolder(), LockHolder::Readers);
  EXPECT_TRUE(later->lockReaders(false, 0));  // the pending mark went with the failed wait
}

TEST_F(LockedFile, ALockOverTheWholeFileIsToldApartFromReaders) {
  auto writer = open();
  const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  struct flock whole {};
  whole.l_type = F_RDLCK;
  whole.l_whence = SEEK_SET;  // start 0, length 0: the whole file, however long
  ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &whole), 0);
  EXPECT_FALSE(writer->lockReaders(true, 50));
  EXPECT_EQ(writer->readersLockHolder(), LockHolder::OtherProgram);
  ::close(other);
  EXPECT_EQ(writer->readersLockHolder(), LockHolder::None);
  EXPECT_TRUE(writer->lockReaders(true, 0));
  writer->unlockReaders();
}
