// In-memory files and memory accounting behind the decoder's client
// callbacks, for tests and fuzzing. The callbacks carry no context, so the
// state is process-wide; reset() starts afresh.
#pragma once

#include "cab/cab.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace memfiles {

using Bytes = std::vector<uint8_t>;

struct Stats {
    int allocations = 0;
    int frees = 0;
    int opens = 0;
    int closes = 0;
    int64_t liveBytes = 0;
};

void reset();
void addFile(const std::string& path, Bytes contents);
void removeFile(const std::string& path);
// Makes the n-th allocation from now (0 = the next) fail; -1 for never.
void failAllocation(int n);
// Makes every write to an output handle move at most `limit` bytes.
void limitWrites(int limit);
// Makes close of the cabinet opened as the n-th open fail; -1 for never.
void failCloseOfOpen(int n);

// Output files the client creates in answer to OpenOutput.
int32_t createOutput(const std::string& name);
const Bytes& output(const std::string& name);
bool hasOutput(const std::string& name);
bool isOpen(int32_t handle);

const Stats& stats();
std::vector<std::string> openedPaths();

// The seven callbacks.
void* alloc(uint32_t size);
void free(void* block);
int32_t open(const char* path, int flags, int mode);
int read(int32_t handle, void* buffer, uint32_t count);
int write(int32_t handle, const void* buffer, uint32_t count);
int close(int32_t handle);
int32_t seek(int32_t handle, int32_t offset, int origin);

// A decoder over these callbacks.
CabDecoder* createDecoder(CabError* error);

// A notification handler that writes every file to an in-memory output and
// follows a set to its next cabinet, giving up when a next cabinet fails.
int extractEveryFile(int kind, CabNotification* n);

}  // namespace memfiles
