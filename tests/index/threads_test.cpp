// Many threads searching one index at once, each on its own thread, get what one thread gets.
// Plain std::thread callers and one-thread searches, so that a ThreadSanitizer build sees every
// access (the OpenMP runtime is not instrumented).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/index/index_test_support.h"
#include "tests/support/omp_threads.h"

namespace tarvo_test {
namespace {

class TarvoThreads : public IndexTest {};

TEST_F(TarvoThreads, ConcurrentSearchesMatchOneThread) {
  constexpr int kCallers = 8;
  constexpr int kK = 10;
  for (const char* type : {"SSG", "HNSW"}) {
    for (const int level : {0, 1, 2, 3}) {  // every code kind: FP32, SQ8, SQ4, FP16
      IndexParams params;
      params.index_type = type;
      std::unique_ptr<Tarvo> index;
      {
        OmpThreads one(1);  // the build's teams would be OpenMP threads, which the sanitizer cannot follow
        index = MakeReadyIndex(params, level);
      }
      for (const bool earlyStop : {false, true}) {
        SCOPED_TRACE(std::string(type) + " level " + std::to_string(level) + (earlyStop ? " early stop" : ""));
        if (earlyStop) vexa::CapturedLines([&] { index->SetEarlyStoppingParams(3, 4); });
        const Answers alone = SearchAll(*index, Queries(), kK);
        std::vector<Answers> answers(kCallers, Answers(Queries().n, kK));
        std::vector<int> results(kCallers, -2);
        std::vector<std::thread> callers;
        for (int t = 0; t < kCallers; ++t) {
          callers.emplace_back([&, t] {
            for (int pass = 0; pass < 3; ++pass) {
              results[t] = index->Search(Queries().n, Queries().values.data(), kK, answers[t].distances.data(),
                                         answers[t].labels.data(), 1);
            }
          });
        }
        for (std::thread& caller : callers) caller.join();
        for (int t = 0; t < kCallers; ++t) {
          EXPECT_EQ(results[t], 0) << "caller " << t;
          EXPECT_TRUE(answers[t] == alone) << "caller " << t;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarvo_test
