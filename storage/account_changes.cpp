#include "storage/account_changes.h"

#include <atomic>

namespace storage {

namespace {
std::atomic<quint64> generation{0};
}  // namespace

quint64 accountsGeneration() { return generation.load(); }

void accountsChanged() { ++generation; }

}  // namespace storage
