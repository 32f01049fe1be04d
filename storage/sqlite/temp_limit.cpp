#include "storage/sqlite/temp_limit.h"

#include <sqlite3.h>

#include <utility>

#include "storage/storage.h"

namespace storage::sqlite {

namespace {

constexpr int kTempFlags = SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL |
                           SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL;

thread_local bool limitHit = false;

sqlite3_vfs* os = nullptr;  // the system's own layer

// A temporary file: our methods in front, the system's file object right behind.
struct TempFile {
  sqlite3_file base;
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_file* real(sqlite3_file* file) { return reinterpret_cast<TempFile*>(file)->real(); }

int tempClose(sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); }
int tempRead(sqlite3_file* f, void* out, int amount, sqlite3_int64 offset) {
  return real(f)->pMethods->xRead(real(f), out, amount, offset);
}
int tempWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  if (offset + amount > queryTempBytes()) {
    limitHit = true;
    return SQLITE_FULL;
  }
  return real(f)->pMethods->xWrite(real(f), data, amount, offset);
}
int tempTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return real(f)->pMethods->xTruncate(real(f), size);
}
int tempSync(sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); }
int tempFileSize(sqlite3_file* f, sqlite3_int64* size) {
  return real(f)->pMethods->xFileSize(real(f), size);
}
int tempLock(sqlite3_file* f, int level) { return real(f)->pMethods->xLock(real(f), level); }
int tempUnlock(sqlite3_file* f, int level) { return real(f)->pMethods->xUnlock(real(f), level); }
int tempCheckReserved(sqlite3_file* f, int* out) {
  return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int tempFileControl(sqlite3_file* f, int op, void* arg) {
  return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int tempSectorSize(sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); }
int tempDevice(sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); }

const sqlite3_io_methods kTempMethods = {1,
                                         tempClose,
                                         tempRead,
                                         tempWrite,
                                         tempTruncate,
                                         tempSync,
                                         tempFileSize,
                                         tempLock,
                                         tempUnlock,
                                         tempCheckReserved,
                                         tempFileControl,
                                         tempSectorSize,
                                         tempDevice,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr,
                                         nullptr};

int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  // The database itself and its journals: the system's file object in the space given.
  if (!(flags & kTempFlags)) return os->xOpen(os, name, file, flags, outFlags);
  auto* temp = reinterpret_cast<TempFile*>(file);
  temp->base.pMethods = nullptr;
  const int rc = os->xOpen(os, name, temp->real(), flags, outFlags);
  if (rc == SQLITE_OK) temp->base.pMethods = &kTempMethods;
  return rc;
}

// The rest is the system's own.
int remove(sqlite3_vfs*, const char* name, int syncDir) { return os->xDelete(os, name, syncDir); }
int access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return os->xAccess(os, name, flags, out);
}
int fullPath(sqlite3_vfs*, const char* name, int size, char* out) {
  return os->xFullPathname(os, name, size, out);
}
int randomness(sqlite3_vfs*, int size, char* out) { return os->xRandomness(os, size, out); }
int sleep(sqlite3_vfs*, int microseconds) { return os->xSleep(os, microseconds); }
int currentTime(sqlite3_vfs*, double* out) { return os->xCurrentTime(os, out); }
int lastError(sqlite3_vfs*, int size, char* out) { return os->xGetLastError(os, size, out); }
int currentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) { return os->xCurrentTimeInt64(os, out); }

}  // namespace

void installTempLimit() {
  static const bool installed = [] {
    os = sqlite3_vfs_find(nullptr);
    static sqlite3_vfs bounded = {2,
                                  int(sizeof(TempFile)) + os->szOsFile,
                                  os->mxPathname,
                                  nullptr,
                                  "staffinfo-bounded-temp",
                                  nullptr,
                                  open,
                                  remove,
                                  access,
                                  fullPath,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  randomness,
                                  sleep,
                                  currentTime,
                                  lastError,
                                  currentTimeInt64,
                                  nullptr,
                                  nullptr,
                                  nullptr};
    return sqlite3_vfs_register(&bounded, 1) == SQLITE_OK;
  }();
  Q_UNUSED(installed);
}

bool takeTempLimitHit() { return std::exchange(limitHit, false); }

}  // namespace storage::sqlite
