// Reading input lines: throughput for lines from 80 characters to the 1 MiB limit. Reading a line
// takes time in proportion to its length, so bytes per second stay the same whatever the length
// (the reader used to search each line again from its start after every 32 KiB, which made one
// 80 MB line take 30 s).
//
//   build/release/bench/input_bench

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "io/input_unit.hpp"

namespace {

// A file of 16 MiB in lines of the given length, written once per length.
std::string fileOfLines(size_t length) {
  const std::string path = "/tmp/kavro_input_bench_" + std::to_string(::getpid()) + "_" + std::to_string(length);
  std::ofstream out(path, std::ios::binary);
  const std::string line = std::string(length, 'x') + "\n";
  for (size_t written = 0; written < (size_t{16} << 20); written += line.size()) out << line;
  return path;
}

void readLines(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  const std::string path = fileOfLines(length);
  std::string line;
  size_t bytes = 0;
  for (auto _ : state) {
    kavro::InputUnit in(path);
    while (in.readLine(line)) bytes += line.size() + 1;
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  std::remove(path.c_str());
}

BENCHMARK(readLines)->Arg(80)->Arg(4096)->Arg(65536)->Arg(1 << 19)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
