// Low-level file operations used by the storage layer, with a hook that tests
// use to inject faults (short writes, failing flushes, a crash at the Nth
// operation). Without a hook every call goes straight to the system.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kevra {

enum class IoOperation { Write, Sync, Truncate, Remove };

// Returns how many bytes of a write may really be written (for other
// operations: 0 to make it fail, anything else to let it run). A hook may also
// end the process to simulate a crash at that point.
using IoFaultHook = std::function<size_t(IoOperation op, const std::string& path, size_t length)>;
void setIoFaultHook(IoFaultHook hook);

// Each throws EngineError naming `path` on failure.
void writeFully(int fd, const std::string& path, const void* data, size_t length, off_t offset);
void readFully(int fd, const std::string& path, void* data, size_t length, off_t offset);
void syncFile(int fd, const std::string& path);
void truncateFile(int fd, const std::string& path, off_t length);
void removeFile(const std::string& path);
void syncDirectoryOf(const std::string& path);

}  // namespace kevra
