#include <benchmark/benchmark.h>

#include <QGuiApplication>

// Benchmarks that draw text or pictures need the toolkit's fonts and image
// readers, which only exist once a QGuiApplication does.
int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
