// StagedFile: a TargetFile that never replaces anything.
#include "engine/isam/staged_file.h"

namespace kevra {

void refuseExisting(const std::string& path, FileSystem& fs) {
  resolveWriteTarget(fs, path, ExistingTarget::Refuse);
}

StagedFile::StagedFile(std::string targetPath, FileSystem& fs)
    : file_(fs, std::move(targetPath), ExistingTarget::Refuse) {}

void commitAll(const std::vector<StagedFile*>& files) {
  size_t done = 0;
  try {
    for (; done < files.size(); ++done) files[done]->commit();
  } catch (...) {
    for (size_t i = 0; i < done; ++i) files[i]->withdraw();
    throw;
  }
}

}  // namespace kevra
