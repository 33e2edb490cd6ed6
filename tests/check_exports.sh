#!/usr/bin/env bash
# Fails unless the shared library at $1 exports exactly the index class Tarvo and the two NUMA
# globals: an engine name that leaked out could clash with a name of the program that links it.
set -euo pipefail
exported=$(nm -D --defined-only "$1" | awk '{print $3}' | c++filt)
status=0
leaked=$(grep -v -E '^(Tarvo::|NUMA_ENABLED$|num_numa_nodes$)' <<<"$exported" || true)
if [[ -n $leaked ]]; then
  echo "exported but not part of the interface:"
  echo "$leaked"
  status=1
fi
for name in 'Tarvo::Tarvo()' 'Tarvo::~Tarvo()' 'Tarvo::Search(int, float const*, int, float*, long*, int)' \
            'Tarvo::GetNTotal() const' NUMA_ENABLED num_numa_nodes; do
  if ! grep -qxF "$name" <<<"$exported"; then
    echo "missing: $name"
    status=1
  fi
done
exit $status
