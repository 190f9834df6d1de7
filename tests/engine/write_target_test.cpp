// Where writers put their bytes: a device or pipe is written directly, a
// symbolic link keeps pointing where it did, only a regular file is replaced,
// and writers that never replace refuse links of every kind. Saved
// attachments never go through a link planted in the chosen folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "engine/compact/compactor.h"
#include "engine/isam/staged_file.h"
#include "engine/storage/memory_file_system.h"
#include "engine/storage/write_target.h"
#include "engine/table/attachment_files.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "foreign_test_support.h"

namespace kevra::test {
namespace {

bool isCharacterDevice(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool isLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(WriteTargets, ExportWritesPipesAndLinkTargetsAndReplacesOnlyRegularFiles) {
  ScratchFolder f;
  const std::string cli = std::string(KEVRA_CLI_PATH) + " export " + sample("testv2000.mdb") + " Table1 --output ";
  auto [status, reference] = runCommand(std::string(KEVRA_CLI_PATH) + " export " + sample("testv2000.mdb") + " Table1");
  ASSERT_EQ(status, 0) << reference;

  // A FIFO is written into, not replaced by a regular file. Held open here
  // for reading and writing, it never blocks the export; the rows wait in
  // the pipe's buffer.
  const std::string fifo = f.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int pipeEnd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(pipeEnd, 0);
  std::tie(status, std::ignore) = runCommand(cli + fifo);
  EXPECT_EQ(status, 0);
  std::string fromPipe;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnd, buffer, sizeof buffer)) > 0;) fromPipe.append(buffer, size_t(n));
  ::close(pipeEnd);
  EXPECT_EQ(fromPipe, reference);
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  // Fatal: without it, the export to /dev/null below would replace the
  // system's device.
  ASSERT_TRUE(S_ISFIFO(st.st_mode));

  // A link keeps pointing at its file, which gets the rows.
  f.write("real.csv", "old");
  ASSERT_EQ(::symlink("real.csv", f.file("link.csv").c_str()), 0);
  std::tie(status, std::ignore) = runCommand(cli + f.file("link.csv"));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(isLink(f.file("link.csv")));
  EXPECT_EQ(f.read("real.csv"), reference);

  // A regular file is replaced whole; nothing temporary stays behind.
  std::tie(status, std::ignore) = runCommand(cli + f.file("real.csv"));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(f.read("real.csv"), reference);
  EXPECT_EQ(f.names(), (std::vector<std::string>{"link.csv", "pipe", "real.csv"}));

  // The system's null device stays a device. Reached only when the pipe
  // above survived its export.
  ASSERT_TRUE(isCharacterDevice("/dev/null"));
  std::tie(status, std::ignore) = runCommand(cli + "/dev/null");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(isCharacterDevice("/dev/null"));

  // A link to nothing and a folder are refused, and nothing appears.
  ASSERT_EQ(::symlink(f.file("gone.csv").c_str(), f.file("dangling.csv").c_str()), 0);
  std::string printed;
  std::tie(status, printed) = runCommand(cli + f.file("dangling.csv"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(printed.find("symbolic link to nothing"), std::string::npos) << printed;
  ::mkdir(f.file("folder").c_str(), 0755);
  std::tie(status, printed) = runCommand(cli + f.file("folder"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(printed.find("is a folder"), std::string::npos) << printed;
  EXPECT_EQ(f.names(), (std::vector<std::string>{"dangling.csv", "folder", "link.csv", "pipe", "real.csv"}));
}

TEST(WriteTargets, WritersThatNeverReplaceRefuseLinksEvenToNothing) {
  ScratchFolder f;
  ASSERT_EQ(::symlink(f.file("victim").c_str(), f.file("planted").c_str()), 0);
  EXPECT_THROW(StagedFile(f.file("planted")), EngineError);
  EXPECT_THROW(createDatabase(realFileSystem(), f.file("planted"), NewDatabaseOptions{}), EngineError);
  try {
    compactDatabase(realFileSystem(), sample("testv2000.mdb"), f.file("planted"));
    ADD_FAILURE() << "compacted through a link";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();  // refused first
  }
  EXPECT_EQ(f.names(), std::vector<std::string>{"planted"});  // no victim, no temporary file

  // A staged file whose name is taken by a link meanwhile stays unnamed.
  StagedFile late(f.file("late"));
  late.append(std::string_view("data"));
  ASSERT_EQ(::symlink(f.file("victim").c_str(), f.file("late").c_str()), 0);
  EXPECT_THROW(late.commit(), EngineError);
  EXPECT_EQ(f.names(), (std::vector<std::string>{"late", "planted"}));

  // The same rule on a file system in memory: a regular file is replaced.
  MemoryFileSystem memory;
  memory.put("/x/out.txt", {'o', 'l', 'd'});
  TargetFile replacing(memory, "/x/out.txt", ExistingTarget::Replace);
  replacing.append("new", 3);
  EXPECT_EQ(memory.bytes("/x/out.txt").size(), 3u);
  replacing.commit();
  EXPECT_EQ(memory.bytes("/x/out.txt"), (std::vector<uint8_t>{'n', 'e', 'w'}));
  EXPECT_EQ(memory.paths(), std::vector<std::string>{"/x/out.txt"});
}

class SavedAttachments : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = Database::open(sample("formats/v2007-attachments.accdb"));
    table_ = db_->table("Table1");
  }
  size_t save(const std::string& folder) {
    Database::ReadScope reading(*db_);
    return saveAttachmentFiles(*db_, table_, folder);
  }
  std::shared_ptr<Database> db_;
  std::shared_ptr<const TableDef> table_;
  ScratchFolder folder_, elsewhere_;
};

TEST_F(SavedAttachments, ADanglingLinkPlantedForAFileIsNotWrittenThrough) {
  ASSERT_EQ(::mkdir(folder_.file("Attachments").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(folder_.file("Attachments/2").c_str(), 0755), 0);
  const std::string victim = elsewhere_.file("victim.txt");
  ASSERT_EQ(::symlink(victim.c_str(), folder_.file("Attachments/2/attachment1.txt").c_str()), 0);
  try {
    save(folder_.path());
    ADD_FAILURE() << "saved through a planted link";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("exists already"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(elsewhere_.names().empty());
  EXPECT_TRUE(isLink(folder_.file("Attachments/2/attachment1.txt")));
}

TEST_F(SavedAttachments, ALinkedSubfolderIsRefusedAndAChosenLinkedFolderIsFollowed) {
  ASSERT_EQ(::symlink(elsewhere_.path().c_str(), folder_.file("Attachments").c_str()), 0);
  try {
    save(folder_.path());
    ADD_FAILURE() << "saved into a linked subfolder";
  } catch (const EngineError& e) {
    EXPECT_NE(std::string(e.what()).find("symbolic link"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(elsewhere_.names().empty());

  // The folder the user names may itself be a link.
  ::unlink(folder_.file("Attachments").c_str());
  ASSERT_EQ(::symlink(elsewhere_.path().c_str(), folder_.file("chosen").c_str()), 0);
  EXPECT_EQ(save(folder_.file("chosen")), 4u);
  EXPECT_EQ(elsewhere_.read("Attachments/3/attachment3.txt"), "Attachment 3");
}

}  // namespace
}  // namespace kevra::test
