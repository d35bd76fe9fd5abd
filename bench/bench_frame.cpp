// Frame cost of the scene against the cheapest way to issue the same GL commands: the scene's
// update and draw (Scene::render) versus replaying its recorded frames, as straight-line code
// and as a table, all into the same offscreen Mesa context and each frame finished with
// glFinish. The faster replay is the baseline.
//
// Run with a size filter: BM_.*/16/16 measures our CPU per frame (rasterising 256 pixels costs
// nothing), BM_.*/1920/1080 the software renderer at full HD. bench/run.sh does both.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/RecordedFrames.h"
#include "bench/ReplayTable.h"
#include "bench/SceneSteps.h"
#include "platform/offscreen/OffscreenGL.h"

namespace {

// The frames SceneSteps walks through before starting over; record_frames samples this span.
constexpr long kSpan = DISCO_BENCH_SPAN;
constexpr long kEvery = DISCO_BENCH_EVERY;  // the recorded frames are 1, 1 + kEvery, ...

// One offscreen context at the asked size and the scene stepping in it. The scene loads its
// textures first thing, so the recorded texture names (1, 2, ... in load order) exist for the
// replay too. GL never deletes them, so they outlive any later scene.
struct Context {
  std::unique_ptr<OffscreenGL> gl;
  std::unique_ptr<SceneSteps> steps;

  void restartScene() {
    steps = std::make_unique<SceneSteps>(kBenchFloorSeed);
    steps->scene().setViewportRect(Rect{0, 0, float(gl->width()), float(gl->height())});
  }
};

Context& contextOfSize(int width, int height) {
  static Context context;
  if (!context.gl || context.gl->width() != width || context.gl->height() != height) {
    context.steps.reset();
    context.gl.reset();
    context.gl = OffscreenGL::create(width, height);
    if (context.gl) context.restartScene();
  }
  return context;
}

void BM_Scene(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  Context& context = contextOfSize(width, height);
  if (!context.gl) return state.SkipWithError("no OSMesa context");
  for (auto _ : state) {
    if (context.steps->frame() == kSpan) {
      state.PauseTiming();
      context.restartScene();
      state.ResumeTiming();
    }
    context.steps->renderNext();
    glFinish();
  }
  state.SetItemsProcessed(state.iterations());  // items per second: frames per second
}

// Full-size frames cost what their pixels cost, so here the scene is timed on exactly the frames
// the replay has: the frames between two recorded ones are stepped through untimed, drawn into
// a single pixel.
void BM_SceneRecordedFrames(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  Context& context = contextOfSize(width, height);
  if (!context.gl) return state.SkipWithError("no OSMesa context");
  for (auto _ : state) {
    state.PauseTiming();
    if (context.steps->frame() + kEvery > kSpan) context.restartScene();
    Scene& scene = context.steps->scene();
    scene.setViewportRect(Rect{0, 0, 1, 1});
    while (context.steps->frame() % kEvery != 0) context.steps->renderNext();
    scene.setViewportRect(Rect{0, 0, float(width), float(height)});
    glFinish();
    state.ResumeTiming();
    context.steps->renderNext();
    glFinish();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Replay(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  if (!contextOfSize(width, height).gl) return state.SkipWithError("no OSMesa context");
  int next = 0;
  for (auto _ : state) {
    kRecordedFrames[next]();
    glFinish();
    if (++next == kRecordedFrameCount) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["gl_calls_per_frame"] = kRecordedCallsPerFrame;
}

void BM_ReplayTable(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  if (!contextOfSize(width, height).gl) return state.SkipWithError("no OSMesa context");
  int next = 0;
  for (auto _ : state) {
    replayTableFrame(next);
    glFinish();
    if (++next == kRecordedFrameCount) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

// The first frame in a fresh context: Mesa compiles the pipeline for each new drawing state on
// first use, so a first frame costs many steady ones. The scene's first frame against the
// replay of the same frame, each in a new context with the textures loaded untimed.
template <bool kScene>
void BM_FirstFrame(benchmark::State& state) {
  const int width = int(state.range(0)), height = int(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    contextOfSize(0, 0);  // no other context stays around
    auto gl = OffscreenGL::create(width, height);
    if (!gl) return state.SkipWithError("no OSMesa context");
    auto steps = std::make_unique<SceneSteps>(kBenchFloorSeed);
    steps->scene().setViewportRect(Rect{0, 0, float(width), float(height)});
    glFinish();
    state.ResumeTiming();
    if (kScene) steps->renderNext();
    else replayTableFrame(0);
    glFinish();
  }
}

// At 16 x 16 the figure is the CPU time of the calling thread: run with LP_NUM_THREADS=0 so
// that Mesa does all its work there and other processes' load does not enter it. At full HD it
// is the wall time of a finished frame, Mesa's rasteriser threads and all, over the recorded
// frames only.
BENCHMARK(BM_Scene)->Args({16, 16})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Replay)->Args({16, 16})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplayTable)->Args({16, 16})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneRecordedFrames)->Args({1920, 1080})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replay)->Args({1920, 1080})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayTable)->Args({1920, 1080})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstFrame<true>)->Name("BM_FirstFrameScene")->Args({1920, 1080})->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstFrame<false>)->Name("BM_FirstFrameReplay")->Args({1920, 1080})->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
