// The script machine's speed and memory on movies built here: (a) a numeric loop in registers, (b) function
// calls, (c) objects made in cycles and dropped (the heap must return to where it started), (d) string building,
// (e) a frame of 1,000 script-made clips each running onEnterFrame.
//   build/bench/bench_avm1 [--benchmark_filter=...]
#include "Avm1Assembler.h"

#include "avm1/Machine.h"

#include <benchmark/benchmark.h>

#include <ctime>

using plugintest::Asm;

namespace {

constexpr uint8_t kLess2 = 0x48, kNot = 0x12, kAdd2 = 0x47, kPop = 0x17, kIncrement = 0x50, kCallFunction = 0x3D,
                  kInitObject = 0x43, kSetMember = 0x4F, kCallMethod = 0x52;

// A loop over register 1 from 0 to `count` around `body`, inside a DefineFunction2 called once.
Asm Loop(double count, Asm body)
{
    Asm loop;
    loop.num(0).store(1).op(kPop);
    loop.label("top").reg(1).num(count).op(kLess2).op(kNot).ifTrue("done");
    loop.append(body);
    loop.reg(1).op(kIncrement).store(1).op(kPop).jump("top").label("done");
    return loop;
}

Asm InFunction(Asm body)
{
    return Asm().function2("run", 8, 0, {}, body).i32(0).str("run").op(kCallFunction).op(kPop);
}

std::vector<uint8_t> Movie(const Asm& script)
{
    plugintest::MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    return movie.finish();
}

void Play(const std::vector<uint8_t>& bytes)
{
    reelfinch::plugin::MoviePlayer player;
    player.load(bytes.data(), bytes.size());
}

// (a) 15 actions an iteration: the loop's 10 and a sum into register 2.
void NumericLoop(benchmark::State& state)
{
    const double count = 1e6;
    const auto bytes = Movie(InFunction(Loop(count, Asm().reg(2).reg(1).op(kAdd2).store(2).op(kPop))));
    for (auto _ : state)
        Play(bytes);
    state.counters["actions/s"] = benchmark::Counter(15 * count * double(state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK(NumericLoop)->Unit(benchmark::kMillisecond);

double CpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// (b) Calls of an empty function; the loop's own cost is measured alone and taken away.
void FunctionCalls(benchmark::State& state)
{
    const double count = 1e6;
    Asm callee = Asm().function2("f", 2, 0, {}, Asm());
    const auto calls
        = Movie(InFunction(Asm(callee).append(Loop(count, Asm().i32(0).str("f").op(kCallFunction).op(kPop)))));
    const auto bare = Movie(InFunction(Asm(callee).append(Loop(count, Asm().i32(0).str("f").op(kPop).op(kPop)))));
    double callSeconds = 0, bareSeconds = 0;
    for (auto _ : state) {
        // Processor time, as the other figures: the machine is shared.
        const double t0 = CpuSeconds();
        Play(calls);
        const double t1 = CpuSeconds();
        Play(bare);
        const double t2 = CpuSeconds();
        callSeconds += t1 - t0;
        bareSeconds += t2 - t1;
    }
    state.counters["ns/call"]
        = (callSeconds - bareSeconds) * 1e9 / (count * double(std::max<benchmark::IterationCount>(1, state.iterations())));
}
BENCHMARK(FunctionCalls)->Unit(benchmark::kMillisecond);

// (c) Pairs of objects pointing at each other, made and dropped; reads and writes on objects and arrays.
void ObjectsReturnMemory(benchmark::State& state)
{
    const double count = 200000;
    Asm body;
    body.i32(0).op(kInitObject).store(3).op(kPop);
    body.i32(0).op(kInitObject).store(4).op(kPop);
    body.reg(3).str("other").reg(4).op(kSetMember);
    body.reg(4).str("other").reg(3).op(kSetMember);
    body.reg(1).i32(1).i32(0).op(0x42).str("push").op(kCallMethod).op(kPop); // [].push(i)
    const auto bytes = Movie(InFunction(Loop(count, body)));
    double before = 0, after = 0, cells = 0;
    for (auto _ : state) {
        reelfinch::plugin::MoviePlayer player;
        // The machine exists once a movie is loaded; the first frame's script runs as it loads.
        player.load(bytes.data(), bytes.size());
        auto* machine = player.scriptMachine();
        machine->collectGarbage();
        after = double(machine->heap().liveBytes());
        cells = double(machine->heap().cellCount());
        reelfinch::plugin::MoviePlayer empty;
        const auto blank = Movie(Asm());
        empty.load(blank.data(), blank.size());
        empty.scriptMachine()->collectGarbage();
        before = double(empty.scriptMachine()->heap().liveBytes());
    }
    state.counters["live bytes, empty movie"] = before;
    state.counters["live bytes after dropping"] = after;
    state.counters["cells left"] = cells;
}
BENCHMARK(ObjectsReturnMemory)->Unit(benchmark::kMillisecond);

// (d) s += "x", 20,000 times.
void StringBuilding(benchmark::State& state)
{
    const double count = 20000;
    Asm body = Asm().reg(2).str("x").op(kAdd2).store(2).op(kPop);
    const auto bytes = Movie(InFunction(Asm().str("").store(2).op(kPop).append(Loop(count, body))));
    for (auto _ : state)
        Play(bytes);
    state.counters["appends/s"] = benchmark::Counter(count * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(StringBuilding)->Unit(benchmark::kMillisecond);

// (e) 1,000 clips made by the first frame's script, each with an onEnterFrame that counts in a property of its
// clip (this.v = this.v + 1). Each iteration is one frame of the movie: every handler runs once. The time is the
// processor's, per frame.
void EnterFrameClips(benchmark::State& state)
{
    const double count = 1000;
    constexpr uint8_t kGetMember = 0x4E;
    const Asm handler = Asm().get("this").str("v").get("this").str("v").op(kGetMember).i32(1).op(kAdd2).op(kSetMember);
    Asm body;
    body.reg(1).str("c").reg(1).op(kAdd2).i32(2).get("_root").str("createEmptyMovieClip").op(kCallMethod).store(3)
        .op(kPop);
    body.reg(3).str("v").i32(0).op(kSetMember);
    body.reg(3).str("onEnterFrame").reg(2).op(kSetMember);
    const Asm setup = Asm().function("", {}, handler).store(2).op(kPop).append(Loop(count, body));
    plugintest::MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(kTagDoAction, InFunction(setup).op(0x07).finished()); // stop(): frames repeat without the timeline
    movie.showFrame();
    const auto bytes = movie.finish();
    reelfinch::plugin::MoviePlayer player;
    player.load(bytes.data(), bytes.size());
    for (auto _ : state) {
        const double t0 = CpuSeconds();
        player.step();
        state.SetIterationTime(CpuSeconds() - t0);
    }
    state.counters["handlers/frame"] = count;
}
BENCHMARK(EnterFrameClips)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
