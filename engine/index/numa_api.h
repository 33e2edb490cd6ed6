#ifndef TARVO_ENGINE_INDEX_NUMA_API_H_
#define TARVO_ENGINE_INDEX_NUMA_API_H_

namespace vexa {

// The four libnuma calls of the index. The index makes them only through Numa(), so that a test
// can give it the topology of another machine.
struct NumaApi {
  int (*available)();          // -1 when the machine has no NUMA support
  int (*maxNode)();            // the highest node number
  int (*nodeOfCpu)(int cpu);   // the node of a CPU; -1 when unknown
  int (*runOnNode)(int node);  // binds the calling thread to a node; -1 binds it to all nodes
};

// libnuma's own functions.
NumaApi LibnumaApi();

// The functions the index calls: LibnumaApi() unless replaced.
NumaApi& Numa();

}  // namespace vexa

#endif  // TARVO_ENGINE_INDEX_NUMA_API_H_
