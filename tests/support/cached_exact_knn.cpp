#include "tests/support/cached_exact_knn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "tests/support/exact_knn.h"

namespace tarvo_test {
namespace {

// First bytes of a cache file; the digit changes whenever the layout or the meaning of the
// stored neighbours changes.
constexpr char kMagic[8] = {'T', 'K', 'N', 'N', 'C', 'A', '1', '\0'};

// What a cached result was computed from.
struct CacheKey {
  const char* kind;    // "knn" or "graph"
  uint64_t fields[6];  // base rows, dim, query rows (0 for a graph), k, inner product, checksum
};

std::filesystem::path CachePath(const CacheKey& key) {
  char name[160];
  std::snprintf(name, sizeof(name), "%s-%llux%llu-q%llu-k%llu-%s-%016llx.bin", key.kind,
                static_cast<unsigned long long>(key.fields[0]), static_cast<unsigned long long>(key.fields[1]),
                static_cast<unsigned long long>(key.fields[2]), static_cast<unsigned long long>(key.fields[3]),
                key.fields[4] ? "ip" : "l2", static_cast<unsigned long long>(key.fields[5]));
  return std::filesystem::path(TARVO_TEST_CACHE_DIR) / name;
}

// Holds an exclusive lock on a file of the cache directory while it lives; holds nothing when
// the file cannot be opened.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }

 private:
  int fd_;  // the open lock file, owned; -1 for none
};

// Reads count ids from path when its header matches key and it holds exactly that many.
bool ReadCache(const std::filesystem::path& path, const CacheKey& key, size_t count, std::vector<int>& ids) {
  std::ifstream in(path, std::ios::binary);
  char magic[sizeof(kMagic)];
  uint64_t fields[6];
  if (!in.read(magic, sizeof(magic)) || std::memcmp(magic, kMagic, sizeof(kMagic)) != 0) return false;
  if (!in.read(reinterpret_cast<char*>(fields), sizeof(fields)) ||
      std::memcmp(fields, key.fields, sizeof(fields)) != 0) {
    return false;
  }
  ids.resize(count);
  if (!in.read(reinterpret_cast<char*>(ids.data()), static_cast<std::streamsize>(count * sizeof(int)))) return false;
  return in.peek() == std::ifstream::traits_type::eof();
}

// Writes ids under key into a file of this process, then renames it to path, so that no reader
// ever sees a partial file.
void WriteCache(const std::filesystem::path& path, const CacheKey& key, const std::vector<int>& ids) {
  const std::filesystem::path partial = path.string() + ".part" + std::to_string(getpid());
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(kMagic, sizeof(kMagic));
    out.write(reinterpret_cast<const char*>(key.fields), sizeof(key.fields));
    out.write(reinterpret_cast<const char*>(ids.data()), static_cast<std::streamsize>(ids.size() * sizeof(int)));
    if (!out.flush()) return;
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
}

// The count ids of key from the cache, or compute()'s, stored for the next process.
std::vector<int> Cached(const CacheKey& key, size_t count, const std::function<std::vector<int>()>& compute) {
  std::error_code error;
  std::filesystem::create_directories(TARVO_TEST_CACHE_DIR, error);
  const std::filesystem::path path = CachePath(key);
  FileLock lock(path.string() + ".lock");
  std::vector<int> ids;
  if (ReadCache(path, key, count, ids)) return ids;
  ids = compute();
  WriteCache(path, key, ids);
  return ids;
}

}  // namespace

std::vector<int> CachedExactKnn(const Dataset& base, const Dataset& queries, int k, bool inner_product) {
  const uint64_t checksum = DatasetChecksum(queries, DatasetChecksum(base));
  const CacheKey key{"knn",
                     {static_cast<uint64_t>(base.n), static_cast<uint64_t>(base.dim), static_cast<uint64_t>(queries.n),
                      static_cast<uint64_t>(k), inner_product ? 1u : 0u, checksum}};
  return Cached(key, static_cast<size_t>(queries.n) * k, [&] { return ExactKnn(base, queries, k, inner_product); });
}

std::vector<int> CachedExactKnnGraph(const Dataset& base, int k, bool inner_product) {
  const uint64_t checksum = DatasetChecksum(base);
  const CacheKey key{"graph",
                     {static_cast<uint64_t>(base.n), static_cast<uint64_t>(base.dim), 0, static_cast<uint64_t>(k),
                      inner_product ? 1u : 0u, checksum}};
  return Cached(key, static_cast<size_t>(base.n) * k, [&] { return ExactKnnGraph(base, k, inner_product); });
}

uint64_t DatasetChecksum(const Dataset& data, uint64_t hash) {
  auto mix = [&hash](const void* bytes, size_t count) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < count; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  };
  const int32_t shape[2] = {data.n, data.dim};
  mix(shape, sizeof(shape));
  mix(data.values.data(), data.values.size() * sizeof(float));
  return hash;
}

}  // namespace tarvo_test
