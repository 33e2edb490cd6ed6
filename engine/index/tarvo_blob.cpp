// Serialize and Deserialize of the facade: the index blob in memory.
#include <cstddef>
#include <string>

#include "engine/index/print_line.h"
#include "engine/index/replica_walk.h"
#include "engine/index/tarvo.h"
#include "engine/index/tarvo_impl.h"

int Tarvo::Serialize(unsigned char*& data, unsigned long& dataLength) const {
  if (data != nullptr) {
    vexa::PrintLine("[ERROR] Input pointer to Serialize must be a nullptr.");
    return -1;
  }
  if (First() == nullptr) return vexa::ImplMissing();
  const auto serialize = [&](const TarvoImpl& replica) { return replica.Serialize(data, dataLength); };
  if (!NUMA_ENABLED) {
    if (serialize(*impl) != 0) {
      vexa::PrintLine("[ERROR] Try to serialize a invalid Index.");
      return -1;
    }
    return 0;
  }
  const int result = vexa::OnReplica0(impls, [&](const TarvoImpl& replica) {
    vexa::PrintLine("Serialize on Node 0");
    return serialize(replica);
  });
  if (result != 0) {
    vexa::PrintLine("[ERROR] Try to serialize a invalid Index.");
    return -1;
  }
  vexa::PrintLine("Serialize done.");
  return 0;
}

int Tarvo::Deserialize(const unsigned char* data, const unsigned long& dataLength) {
  if (data == nullptr) {
    vexa::PrintLine("[ERROR] Input pointer to Deserialize is a nullptr.");
    return -1;
  }
  if (dataLength == 0) {
    vexa::PrintLine("[ERROR] Input dataLength to Deserialize is 0.");
    return -1;
  }
  if (First() == nullptr) return vexa::ImplMissing();
  const auto deserialize = [&](TarvoImpl& replica) {
    size_t length = dataLength;
    return replica.Deserialize(data, &length);
  };
  if (!NUMA_ENABLED) {
    if (deserialize(*impl) != 0) {
      vexa::PrintLine("[ERROR] Try to deserialize a invalid Index.");
      return -1;
    }
  } else if (vexa::WalkReplicas(impls, [&](TarvoImpl& replica, int i) {
               vexa::PrintLine("Deserialize on Node " + std::to_string(i));
               return deserialize(replica);
             }) != 0) {
    vexa::PrintLine("[ERROR] Try to load a invalid Index.");
    return -1;
  }
  TakeDataNum();
  vexa::PrintLine("Serialize done.");
  return 0;
}
