// Scope lookup cost as the scope grows: ns per ScopeFind of a present and of a missing name.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/scope.h"

namespace {

constexpr int kLookups = 1000000;
constexpr size_t kProbeNames =
    4096;  // enough to defeat a lucky cache line, few enough to stay in cache

double NsPerLookup(const kwl::Scope& scope, const std::vector<std::string>& names, size_t* found) {
  auto start = std::chrono::steady_clock::now();
  size_t hits = 0;
  for (int i = 0; i < kLookups; ++i) {
    if (kwl::ScopeFind(scope, names[static_cast<size_t>(i) % names.size()])) ++hits;
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  *found = hits;
  return std::chrono::duration<double, std::nano>(elapsed).count() / kLookups;
}

}  // namespace

int main() {
  std::printf("N, ns per hit lookup, ns per miss lookup\n");
  for (int n : {10, 100, 1000, 10000, 100000}) {
    kwl::Scope scope;
    for (int i = 0; i < n; ++i) kwl::ScopeSetInt(scope, "var" + std::to_string(i), i);

    // Present names spread evenly over the insertion order; missing ones share the prefix.
    std::vector<std::string> present, missing;
    size_t probes = std::min(kProbeNames, static_cast<size_t>(n));
    for (size_t k = 0; k < probes; ++k) present.push_back("var" + std::to_string(k * n / probes));
    for (size_t k = 0; k < kProbeNames; ++k)
      missing.push_back("var" + std::to_string(n + k * 7919));

    size_t hits = 0, falseHits = 0;
    double hit = NsPerLookup(scope, present, &hits);
    double miss = NsPerLookup(scope, missing, &falseHits);
    if (hits != static_cast<size_t>(kLookups) || falseHits != 0) {
      std::fprintf(stderr, "lookup gave wrong answers at N=%d\n", n);
      return 1;
    }
    std::printf("%d, %.1f, %.1f\n", n, hit, miss);
  }
  return 0;
}
