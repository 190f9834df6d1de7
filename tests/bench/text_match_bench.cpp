// LIKE and text comparison over 10 MB: each case should cost a small multiple
// of one pass that folds the text's case (the first case, the peer), never
// text length times pattern length.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/expr/like_pattern.h"
#include "engine/expr/text_collation.h"

namespace {

const std::string& bigText() {
  static const std::string text = std::string(10'000'000, 'a');
  return text;
}

void foldOnce(benchmark::State& state) {
  std::u32string folded;
  for (auto _ : state) {
    kevra::expr::foldCodePointsInto(bigText(), folded);
    benchmark::DoNotOptimize(folded.data());
  }
}
BENCHMARK(foldOnce)->Unit(benchmark::kMillisecond);

void likeLongLiteralAfterStar(benchmark::State& state) {
  const kevra::expr::LikePattern pattern("*" + std::string(2000, 'a') + "b");
  for (auto _ : state) benchmark::DoNotOptimize(pattern.matches(bigText()));
}
BENCHMARK(likeLongLiteralAfterStar)->Unit(benchmark::kMillisecond);

void likeWildcardSegment(benchmark::State& state) {
  const kevra::expr::LikePattern pattern("*a[a-c]" + std::string(5000, '?') + "#*");
  for (auto _ : state) benchmark::DoNotOptimize(pattern.matches(bigText()));
}
BENCHMARK(likeWildcardSegment)->Unit(benchmark::kMillisecond);

void compareWithLongLiteral(benchmark::State& state) {
  const std::string literal = std::string(9'999'999, 'a') + "\xc3\xa9";
  for (auto _ : state) benchmark::DoNotOptimize(kevra::expr::compareTextIgnoringCase(bigText(), literal));
}
BENCHMARK(compareWithLongLiteral)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
