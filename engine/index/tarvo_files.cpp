// The files of the facade: Save and Load of the index file, SaveGraph and LoadGraph of the graph
// file.
#include <cstring>
#include <iostream>
#include <string>

#include "engine/index/file_checks.h"
#include "engine/index/print_line.h"
#include "engine/index/replica_walk.h"
#include "engine/index/tarvo.h"
#include "engine/index/tarvo_impl.h"

namespace {

// The longest path a file operation takes.
constexpr size_t kMaxPathLength = 199;

// Whether path is neither null nor empty nor longer than kMaxPathLength characters; otherwise
// prints the text for what it is.
bool CheckPath(const char* path, const char* emptyText, const char* longText) {
  if (path == nullptr || path[0] == '\0') {
    vexa::PrintLine(emptyText);
    return false;
  }
  if (std::strlen(path) > kMaxPathLength) {
    vexa::PrintLine(longText);
    return false;
  }
  return true;
}

// Whether path names a file to write.
bool CheckSavingPath(const char* path) {
  return CheckPath(path, "[ERROR] Saving Path is null or empty.", "[ERROR] Saving Path is too long.");
}

// Whether path names a file to read: a path within the limits, of a file whose first line can be
// read.
bool CheckLoadingPath(const char* path) {
  return CheckPath(path, "[ERROR] Index path is null or empty.", "[ERROR] Loading Path is too long.") &&
         IsFileReadable(path);
}

// Runs load on every replica in order, each on its node, up to the first that fails.
template <typename Load>
int LoadEveryReplica(const vexa::Replicas& replicas, Load load) {
  return vexa::WalkReplicas(replicas, [&](TarvoImpl& replica, int i) {
    vexa::PrintLine("Load on Node " + std::to_string(i));
    return load(replica);
  });
}

}  // namespace

int Tarvo::Save(const char* path) const {
  if (!CheckSavingPath(path)) return -1;
  if (First() == nullptr) return vexa::ImplMissing();
  if (!NUMA_ENABLED) {
    if (impl->Save(path) != 0) {
      vexa::PrintLine("[ERROR] Try to serialize a invalid Index.");
      return -1;
    }
    return 0;
  }
  const int result = vexa::OnReplica0(impls, [&](const TarvoImpl& replica) {
    vexa::PrintLine("Save on Node 0");
    return replica.Save(path);
  });
  if (result != 0) {
    vexa::PrintLine("[ERROR] Try to save a invalid Index.");
    return -1;
  }
  vexa::PrintLine("Save done.");
  return 0;
}

int Tarvo::Load(const char* path) {
  if (!CheckLoadingPath(path)) return -1;
  if (First() == nullptr) return vexa::ImplMissing();
  const auto load = [&](TarvoImpl& replica) { return replica.Load(path); };
  if ((NUMA_ENABLED ? LoadEveryReplica(impls, load) : load(*impl)) != 0) {
    std::cout << "[ERROR] Try to load a invalid Index.\n";
    return -1;
  }
  TakeDataNum();
  return 0;
}

int Tarvo::SaveGraph(const char* path) const {
  if (!CheckSavingPath(path)) return -1;
  if (First() == nullptr) return vexa::ImplMissing();
  const auto save = [&](const TarvoImpl& replica) { return replica.SaveGraph(path); };
  int result;
  if (NUMA_ENABLED) {
    result = vexa::OnReplica0(impls, [&](const TarvoImpl& replica) {
      vexa::PrintLine("Save Graph on Node 0");
      return save(replica);
    });
  } else {
    result = save(*impl);
  }
  if (result != 0) {
    vexa::PrintLine("[ERROR] Try to save graph for a invalid Index.");
    return -1;
  }
  vexa::PrintLine("Save Graph done.");
  return 0;
}

int Tarvo::LoadGraph(const char* path, int level) {
  if (!CheckLoadingPath(path)) return -1;
  if (First() == nullptr) return vexa::ImplMissing();
  const auto load = [&](TarvoImpl& replica) { return replica.LoadGraph(path, level); };
  if ((NUMA_ENABLED ? LoadEveryReplica(impls, load) : load(*impl)) != 0) {
    vexa::PrintLine("[ERROR] Try to load graph a invalid Index.");
    return -1;
  }
  TakeDataNum();
  vexa::PrintLine("Load Graph done, tarvoDataNum: " + std::to_string(tarvoDataNum));
  return 0;
}
