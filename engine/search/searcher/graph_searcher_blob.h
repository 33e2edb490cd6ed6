#ifndef TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BLOB_H_
#define TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BLOB_H_

// The index blob of a searcher: GraphSearcher::GetDataSize, SaveSearcherToMem and
// LoadSearcherFromMem. After the two names and the graph section come dim, the coarse codes with
// their calibration, the refine codes (searchers that keep them) and po; the length counts 4
// more bytes that nothing writes and that readers do not need.

#include <cstdio>
#include <utility>

#include "engine/search/memory/blob_io.h"
#include "engine/search/quant/calibration_blob.h"
#include "engine/search/searcher/graph_searcher.h"

namespace vexa {

template <typename Q, typename RQ>
uint64_t GraphSearcher<Q, RQ>::QuantBytes() const {
  return static_cast<uint64_t>(quant.n) * quant.code_size + CalibrationBlob<Q>::Bytes(quant);
}

template <typename Q, typename RQ>
uint64_t GraphSearcher<Q, RQ>::RefineBytes() const {
  return refine_param != 0 ? static_cast<uint64_t>(refine_quant.n) * refine_quant.code_size : 0;
}

// The codes are sized from the graph: a blob that does not hold them all is refused before they
// are allocated. A block that cannot be had is refused by the read, which takes no null target.
template <typename Q, typename RQ>
template <typename Quantizer>
int GraphSearcher<Q, RQ>::ReadCodes(Quantizer* quantizer, const uint8_t* data, size_t* offset, size_t length) {
  const size_t bytes = static_cast<size_t>(quantizer->n) * quantizer->code_size;
  if (CheckDeserializeBounds(bytes, *offset, length) != 0) return -1;
  quantizer->codes = static_cast<uint8_t*>(AllocAligned(bytes));
  return DeserializeArray(quantizer->codes, data, bytes, offset, length);
}

template <typename Q, typename RQ>
size_t GraphSearcher<Q, RQ>::GetDataSize() const {
  const size_t graph_size = graph.GetDataSize();
  const size_t quant_size = QuantBytes();
  const size_t refine_size = RefineBytes();
  if (CalibrationBlob<Q>::kTracesCodes) {
    const size_t storage = static_cast<size_t>(quant.n) * quant.code_size;
    const size_t calibrator = CalibrationBlob<Q>::Bytes(quant);
    std::printf("[SQ4] storageSize:%zu, calibratorSize:%zu, dataSize:%zu\n", storage, calibrator,
                storage + calibrator);
  }
  std::printf("GraphSearcher GetDataSize.\n");
  std::printf("metricQuantString: %zu, metricSize: %zu, quantTypeSize: %zu\n", size_t{8}, metric.size(),
              quantType.size());
  std::printf("graphSize:%zu\n", graph_size);
  std::printf("dimSize:%zu\n", sizeof(int32_t));
  std::printf("quantSize:%zu\n", quant_size);
  std::printf("refinequantSize:%zu\n", refine_size);
  std::printf("poSize:%zu\n", sizeof(int32_t));
  const size_t total = 8 + metric.size() + quantType.size() + graph_size + sizeof(int32_t) + quant_size +
                       refine_size + sizeof(int32_t);
  std::printf("Total dataSize:%zu\n", total);
  return total;
}

template <typename Q, typename RQ>
int GraphSearcher<Q, RQ>::SaveSearcherToMem(uint8_t* data, size_t* dataLength, size_t* offset) const {
  const size_t length = *dataLength;
  const uint32_t metric_size = static_cast<uint32_t>(metric.size());
  const uint32_t quant_type_size = static_cast<uint32_t>(quantType.size());
  if (SerializeValue(data, &metric_size, offset, length) != 0 ||
      SerializeValue(data, &quant_type_size, offset, length) != 0 ||
      SerializeArray(data, metric.data(), metric_size, offset, length) != 0 ||
      SerializeArray(data, quantType.data(), quant_type_size, offset, length) != 0 ||
      graph.SaveToMem(data, dataLength, offset) != 0 || SerializeValue(data, &dim, offset, length) != 0) {
    return -1;
  }
  const size_t code_bytes = static_cast<size_t>(quant.n) * quant.code_size;
  if (CalibrationBlob<Q>::kTracesCodes) {
    std::printf("[SQ4] Beginning Serialize, n: %d, code_size:%zu, codes: offset:%zu, dataLength:%zu\n", quant.n,
                static_cast<size_t>(quant.code_size), *offset, *dataLength);
  }
  if (SerializeArray(data, quant.codes, code_bytes, offset, length) != 0) return -1;
  if (CalibrationBlob<Q>::kTracesCodes) {
    std::printf("[SQ4] Serialize, codes: offset:%zu, dataLength:%zu\n", *offset, *dataLength);
  }
  if (CalibrationBlob<Q>::Save(quant, data, dataLength, offset) != 0) return -1;
  if (refine_param != 0 && SerializeArray(data, refine_quant.codes, RefineBytes(), offset, length) != 0) return -1;
  return SerializeValue(data, &po, offset, length);
}

// Everything is read into locals and installed only once the whole part has been read, so that a
// refused blob leaves the searcher as it was.
template <typename Q, typename RQ>
int GraphSearcher<Q, RQ>::LoadSearcherFromMem(const uint8_t* data, size_t* dataLength, size_t* offset) {
  std::printf("\n++++++++++++++++LoadSearcherFromMem.+++++++++++++++++++++++\n");
  const size_t length = *dataLength;
  int read_dim = dim;
  const int read = DeserializeValue(&read_dim, data, offset, length);
  std::printf("Load dim:%d\n", read_dim);
  if (read != 0) return -1;
  if (static_cast<uint64_t>(static_cast<int64_t>(read_dim)) - 1 > kMaxDim - 1) {
    PrintInvalidNumber("dim", read_dim);
    return -1;
  }
  const int read_nb = graph.N;
  std::printf("nb:%d\n", read_nb);
  std::printf("dataLength:%zu, offset:%zu\n", *dataLength, *offset);

  Q read_quant(read_dim);
  read_quant.n = read_nb;
  if (CalibrationBlob<Q>::kTracesCodes) {
    std::printf("[SQ4] Beginning Deserialize, n: %d, code_size:%zu, codes: offset:%zu, dataLength:%zu\n",
                read_quant.n, static_cast<size_t>(read_quant.code_size), *offset, *dataLength);
  }
  if (ReadCodes(&read_quant, data, offset, length) != 0) return -1;
  if (CalibrationBlob<Q>::kTracesCodes) {
    std::printf("[SQ4] Deserialize, codes: offset:%zu, dataLength:%zu\n", *offset, *dataLength);
  }
  if (CalibrationBlob<Q>::Load(&read_quant, data, dataLength, offset) != 0) return -1;
  std::printf("Done load quant, dataLength:%zu, offset:%zu\n", *dataLength, *offset);

  RQ read_refine;
  if (refine_param != 0) {
    read_refine = RQ(read_dim);
    read_refine.n = read_nb;
    if (ReadCodes(&read_refine, data, offset, length) != 0) return -1;
  }
  std::printf("Done load refine_quant, dataLength:%zu, offset:%zu\n", *dataLength, *offset);

  int read_po = po;
  const int read_last = DeserializeValue(&read_po, data, offset, length);
  std::printf("po:%d\n", read_po);
  if (read_last != 0) return -1;

  dim = read_dim;
  nb = read_nb;
  quant = std::move(read_quant);
  if (refine_param != 0) refine_quant = std::move(read_refine);
  SetPo(read_po);
  UpdatePrefetchLines();
  return 0;
}

}  // namespace vexa

#endif  // TARVO_ENGINE_SEARCH_SEARCHER_GRAPH_SEARCHER_BLOB_H_
