// The file-system seam behaves alike on disk and in memory where the engine
// relies on it: renames never replace, reads past the end fail with their
// own kind, a missing file is told apart from other failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/storage/fault_injecting_file_system.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/page_file.h"

using namespace kevra;

namespace {

void behavesLikeAFileSystem(FileSystem& fs, const std::string& dir) {
  const std::string a = dir + "/a", b = dir + "/b";
  {
    auto file = fs.open(a, OpenMode::Create);
    const char text[] = "hello";
    file->write(text, 5, 0);
    EXPECT_EQ(file->size(), 5u);
    char back[5];
    file->read(back, 5, 0);
    EXPECT_EQ(std::string(back, 5), "hello");
    try {
      file->read(back, 5, 3);
      ADD_FAILURE() << "read past the end";
    } catch (const FileError& e) {
      EXPECT_EQ(e.kind(), FileError::Kind::EndOfFile);
    }
  }
  fs.open(b, OpenMode::Create)->write("x", 1, 0);
  EXPECT_THROW(fs.rename(a, b), FileError);  // b is taken: nothing replaced
  EXPECT_EQ(fs.open(b, OpenMode::Read)->size(), 1u);
  fs.remove(b);
  fs.rename(a, b);
  EXPECT_FALSE(fs.exists(a));
  EXPECT_TRUE(fs.isWritable(b));
  try {
    fs.open(a, OpenMode::Read);
    ADD_FAILURE() << "opened a missing file";
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileError::Kind::NotFound);
  }
  fs.remove(a);  // missing: no error

  // What the writers of new files and replacements rely on.
  EXPECT_EQ(fs.kindOf(b), FileKind::Regular);
  EXPECT_EQ(fs.kindOf(a), std::nullopt);
  try {
    fs.open(b, OpenMode::CreateNew);
    ADD_FAILURE() << "created over an existing file";
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileError::Kind::AlreadyExists);
  }
  fs.open(a, OpenMode::CreateNew)->write("yz", 2, 0);
  fs.replace(a, b);
  EXPECT_EQ(fs.kindOf(a), std::nullopt);
  EXPECT_EQ(fs.open(b, OpenMode::Read)->size(), 2u);
  const std::string sub = dir + "/sub";
  fs.createFolder(sub);
  fs.createFolder(sub);  // already there: no error
  EXPECT_EQ(fs.kindOf(sub), FileKind::Folder);
  EXPECT_THROW(fs.createFolder(b), FileError);
  EXPECT_THROW(fs.open(sub, OpenMode::Create), FileError);
  EXPECT_THROW(fs.open(b, OpenMode::Stream), FileError);  // a regular file is no stream
  fs.remove(b);
}

}  // namespace

TEST(FileSystems, RealAndMemoryAgree) {
  char pattern[] = "/tmp/kevra-fs-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  behavesLikeAFileSystem(realFileSystem(), dir);
  std::filesystem::remove_all(dir);
  MemoryFileSystem memory;
  behavesLikeAFileSystem(memory, "/mem");
}

TEST(FileSystems, FaultsReachEveryOperationAndACrashStopsThemAll) {
  MemoryFileSystem memory;
  memory.put("/f", {1, 2, 3, 4});
  int seen = 0;
  FaultInjectingFileSystem faulty(memory, [&](const FaultPoint& p) {
    ++seen;
    if (p.operation == FileOperation::Read) return Fault::fail();
    if (p.operation == FileOperation::Truncate) return Fault::crash();
    return Fault::proceed();
  });
  auto file = faulty.open("/f", OpenMode::ReadWrite);
  uint8_t byte;
  EXPECT_THROW(file->read(&byte, 1, 0), FileError);
  file->write("\x09", 1, 0);
  EXPECT_THROW(file->truncate(0), SimulatedCrash);
  EXPECT_TRUE(faulty.crashed());
  EXPECT_THROW(file->write("\x07", 1, 1), SimulatedCrash);  // nothing after the crash lands
  EXPECT_EQ(memory.bytes("/f"), (std::vector<uint8_t>{9, 2, 3, 4}));
  EXPECT_EQ(seen, 4);
}

// Pages read in order come sixteen at a time; what the open transaction
// changed or appended still wins over what the file holds, and appended
// pages not yet in the file are no error.
TEST(PageFileReads, ReadingInOrderSeesTheTransactionsOwnPages) {
  MemoryFileSystem fs;
  std::ifstream in(std::string(KEVRA_SHARED_DIR) + "/samples/testv2000.mdb", std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 40u * kPageSize);
  fs.put("/db/file.mdb", bytes);
  PageFile file(fs, "/db/file.mdb", false);
  const uint32_t pages = file.pageCount();
  file.beginTransaction();
  file.modify(5)[100] = 0xEE;
  const uint32_t appended = file.append();
  file.modify(appended)[7] = 0x42;
  for (int pass = 0; pass < 2; ++pass) {  // from the file, then from the cache
    for (uint32_t p = 1; p < file.pageCount(); ++p) {
      const ByteSpan page = file.span(file.read(p));
      if (p == 5)
        ASSERT_EQ(page[100], 0xEE);
      else if (p == appended)
        ASSERT_EQ(page[7], 0x42);
      else
        ASSERT_TRUE(std::equal(page.begin(), page.end(), bytes.begin() + size_t(p) * kPageSize)) << "page " << p;
    }
  }
  file.rollback();
  EXPECT_EQ(file.pageCount(), pages);
  EXPECT_EQ(file.span(file.read(5))[100], bytes[5 * kPageSize + 100]);
}
