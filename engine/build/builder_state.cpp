#include "engine/build/builder_state.h"

#include <cstdint>
#include <utility>

namespace vexa {

BuilderState::BuilderState(std::string metric, int dim, int consecutiveLog)
    : metric(std::move(metric)), dim(dim), consecutiveLog(consecutiveLog) {}

BuilderState::~BuilderState() { ReleaseOwnedChunks(); }

void BuilderState::UseChunks(float** table, int log, int n) {
  ReleaseOwnedChunks();
  chunks = table;
  consecutiveLog = log;
  nb = n;
}

void BuilderState::AdoptChunks(float** table, int log, int n) {
  UseChunks(table, log, n);
  ownsChunks = true;
}

void BuilderState::ReleaseOwnedChunks() {
  if (ownsChunks && chunks != nullptr) {
    const int64_t perChunk = int64_t{1} << consecutiveLog;
    const int64_t count = (static_cast<int64_t>(nb) + perChunk - 1) / perChunk;
    for (int64_t c = 0; c < count; ++c) delete[] chunks[c];
    delete[] chunks;
  }
  chunks = nullptr;
  ownsChunks = false;
}

}  // namespace vexa
