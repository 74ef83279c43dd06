// Building the screen form at start-up: the form alone, as the program builds it, against the
// form with both file dialogs built at once, as it was built before they were made on first
// use. Runs on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "app/runscreen.h"

namespace {

QApplication& Application() {
  static int argc = 1;
  static char name[] = "app_bench";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QApplication application(argc, argv);
  return application;
}

void BM_ScreenFormAlone(benchmark::State& state) {
  Application();
  for (auto _ : state) {
    TExecScreenForm form;
    benchmark::DoNotOptimize(form.QuestionsField);
  }
}
BENCHMARK(BM_ScreenFormAlone)->Unit(benchmark::kMillisecond);

void BM_ScreenFormWithBothFileDialogs(benchmark::State& state) {
  Application();
  for (auto _ : state) {
    TExecScreenForm form;
    benchmark::DoNotOptimize(form.OpenDialog());
    benchmark::DoNotOptimize(form.SaveDialog());
  }
}
BENCHMARK(BM_ScreenFormWithBothFileDialogs)->Unit(benchmark::kMillisecond);

}  // namespace
