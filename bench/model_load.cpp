// Loading a scheme the shape of a real designer scheme (about 1 MB: 246 variables, 43 questions
// with 106 answers, 39 resources, 3 report templates, 24 screens, 110 decision points with 126
// conditions, 430 actions, 182 products, 45 categories), and the same shape scaled by 10 and
// 100, in two figures:
// - the template alone: the template sections, the stamp and the price list of a scheme
//   written without a flow graph;
// - the whole scheme as the start-up reads it: the template, the flow graph over every screen,
//   decision point and action (566 elements and 691 links at scale 1), the stamp and the price
//   list, then the link map built on the graph.
// The yardstick copies the same bytes with memcpy and sums them. The whole scheme should load
// within 2x of it at every scale, and both loads should grow linearly with the scale.
//
// Beside them, the start-up's own path in a fresh process, as the program meets it once: the
// scheme file mapped as the executable's resource is, registered as "QZSCHEME", and read from
// the resource to the built link map, in a new process for every iteration. Two ways of reading
// it: "copy", the resource copied into a chunked stream first, and "view", read where it lies,
// as the start-up does; and the yardstick, memcpy and checksum of the mapped bytes, in a fresh
// process as well. The view should stay within 2x of the yardstick at every scale. The time
// taken is the child's CPU time from the resource to the link map (its page faults included),
// so that other work on a shared machine does not count; its wall time is the counter "wall".

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/runtime.h"
#include "graph/elements.h"
#include "graph/visual.h"
#include "model/core.h"
#include "model/pricelist.h"
#include "model/saver.h"
#include "platform/resources.h"
#include "tools/graphwriter.h"
#include "tools/pricelistwriter.h"
#include "tools/reportwriter.h"
#include "tools/resourcewriter.h"
#include "tools/templatewriter.h"

namespace {

MuiRecord Texts(const std::string& base) {
  return {{"0", base + " (ru)"}, {"1", base + " (en)"}, {"2", base + " (ua)"}};
}

std::string Filler(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

enum SchemeShape { kTemplateOnly = 0, kWholeScheme = 1 };

// The real-size shape times `scale`, with resources of `resourceBytes` bytes each; the whole
// scheme carries a flow graph between the template and the stamp.
std::vector<std::uint8_t> BuildScheme(SchemeShape shape, int scale, std::size_t resourceBytes) {
  TemplateRecord templ;
  templ.Languages = {{{0, "Russian"}, {1, "English"}, {2, "Ukrainian"}}, 1, 2};
  for (int i = 0; i < kServiceStringCount; ++i) {
    templ.ServiceStrings.push_back(Texts("Service string " + std::to_string(i)));
  }
  const char* const values[4] = {"\"text\"", "42", "3.25", "1"};
  for (int i = 0; i < 246 * scale; ++i) {
    templ.Variables.push_back(
        {"Variable_" + std::to_string(i), static_cast<std::uint8_t>(i % 4), values[i % 4]});
  }
  for (int i = 0; i < 43 * scale; ++i) {
    QuestionRecord q;
    q.Title = Texts("Question " + std::to_string(i));
    q.Variable = "Variable_" + std::to_string(i * 5);
    q.Description = Texts(
        "A longer help text of the question with a <Resource_1>link</> to a "
        "resource and some more words to read " +
        std::to_string(i));
    q.Kind = static_cast<std::uint8_t>(i % 11);
    q.FloatMin = "0";
    q.FloatMax = "Variable_2*10";
    int answers = (i % 43) < 20 ? 3 : ((i % 43) < 23 ? 2 : 0);  // 106 per 43 questions
    for (int a = 0; a < answers; ++a) {
      q.Answers.push_back({Texts("Answer " + std::to_string(a)), Texts("Answer hint"),
                           std::to_string(a * 100), a == 2 ? "Variable_1>0" : ""});
    }
    templ.Questions.push_back(std::move(q));
  }
  std::vector<ResourceRecord> resources;
  for (int i = 0; i < 39 * scale; ++i) {
    resources.push_back({"Resource_" + std::to_string(i),
                         i % 2 ? "jpg" : "html",
                         static_cast<std::uint8_t>(i % 2 ? 3 : 1),
                         Filler(resourceBytes, static_cast<unsigned>(i)),
                         {}});
  }
  WriteResources(templ.ResourceSection, resources);
  std::vector<ReportRecord> reports;
  for (int r = 0; r < 3 * scale; ++r) {
    ReportRecord report;
    report.Name = "Report " + std::to_string(r);
    report.ColumnWidths = {40, 80, 300, 60, 80, 80, 100, 100};
    for (auto& band : report.Bands) {
      for (int row = 0; row < 3; ++row) {
        ReportRowRecord rowRecord;
        for (int c = 0; c < 8; ++c) {
          ReportCellRecord cell;
          cell.Formula = "{name} {quantity}";
          cell.Bottom = {1, 1};
          rowRecord.Cells.push_back(cell);
        }
        band.push_back(std::move(rowRecord));
      }
    }
    reports.push_back(std::move(report));
  }
  WriteReports(templ.ReportSection, reports);
  for (int i = 0; i < 24 * scale; ++i) {
    ScreenRecord screen{Texts("Screen " + std::to_string(i)),
                        Texts("Screen description with a <Resource_3>link</> " + std::to_string(i)),
                        {}};
    for (int q = 0; q < 2; ++q) {
      screen.Questions.push_back(static_cast<std::uint16_t>((i * 2 + q) % (43 * scale)));
    }
    templ.Screens.push_back(std::move(screen));
  }
  for (int i = 0; i < 110 * scale; ++i) {
    DecisionPointRecord point{"Decision " + std::to_string(i), {}};
    int conditions = (i % 110) < 16 ? 2 : 1;  // 126 per 110 decision points
    for (int c = 0; c < conditions; ++c)
      point.Conditions.push_back("Variable_1>" + std::to_string(c));
    templ.DecisionPoints.push_back(std::move(point));
  }
  for (int i = 0; i < 430 * scale; ++i) {
    if (i % 2) {
      templ.Actions.push_back({1, "", "", "P" + std::to_string(i % 182), "Variable_1*2"});
    } else {
      templ.Actions.push_back({0, "Variable_" + std::to_string(i % 246), "Variable_2+1", "", ""});
    }
  }
  SchemeWriter out;
  WriteTemplate(out, templ);
  if (shape == kWholeScheme) WriteGraph(out, ChainedFlowGraph(templ));
  WriteSchemeStamp(out, 20261210);
  std::vector<ProductRecord> products;
  for (int i = 0; i < 182 * scale; ++i) {
    ProductRecord p;
    p.Code = "P" + std::to_string(i);
    p.Name = Texts("Product name " + std::to_string(i));
    p.CategoryCode = "C" + std::to_string(i % 45);
    p.MeasureUnit = Texts("pcs");
    p.Width = 600;
    p.Price = 100.5L + i;
    p.PriceWithTaxes = p.Price * 1.2L;
    p.OrderingIndex = i;
    products.push_back(std::move(p));
  }
  std::vector<CategoryRecord> categories;
  for (int i = 0; i < 45 * scale; ++i) {
    categories.push_back({"C" + std::to_string(i), Texts("Category " + std::to_string(i))});
  }
  WritePriceList(out, products, categories);
  return out.Bytes();
}

// Resources of 22,000 bytes make the real scheme's megabyte; with 16 bytes the same objects
// fill about a seventh of it, and the load is all records and allocations.
constexpr std::size_t kRealResourceBytes = 22000;

const std::vector<std::uint8_t>& SchemeBytes(SchemeShape shape, int scale,
                                             std::size_t resourceBytes) {
  static std::map<std::tuple<int, int, std::size_t>, std::vector<std::uint8_t>> cache;
  auto key = std::make_tuple(static_cast<int>(shape), scale, resourceBytes);
  auto found = cache.find(key);
  if (found == cache.end())
    found = cache.emplace(key, BuildScheme(shape, scale, resourceBytes)).first;
  return found->second;
}

const std::vector<std::uint8_t>& SchemeBytes(SchemeShape shape, const benchmark::State& state) {
  return SchemeBytes(shape, static_cast<int>(state.range(0)),
                     static_cast<std::size_t>(state.range(1)));
}

void ReportSize(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
  state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_LoadTemplate(benchmark::State& state) {
  const std::vector<std::uint8_t>& bytes = SchemeBytes(kTemplateOnly, state);
  TSpecDataStream stream;
  stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  for (auto _ : state) {
    stream.Rewind();
    auto templ = std::make_unique<TSpecTemplate>();
    templ->LoadFromStream(stream);
    stream.ReadInteger();
    templ->PriceList()->LoadFromStream(stream);
    if (stream.Remaining() != 0) state.SkipWithError("scheme not read to its end");
    benchmark::DoNotOptimize(templ.get());
    state.PauseTiming();
    templ.reset();
    state.ResumeTiming();
  }
  ReportSize(state, bytes);
}

// The start-up's reading after the resource was found: the template, the graph (its events
// off), the stamp and the price list; the link map is built on the graph afterwards.
void ReadAsTheStartUp(TSpecDataReader& stream, TSpecTemplate& templ, TScheme& graph) {
  graph.EventsEnabled = false;
  templ.LoadFromStream(stream);
  graph.ClearLinks();
  graph.ClearElements();
  TSpecSchemeManager(&graph, &templ).LoadFromStream(stream);
  stream.ReadInteger();
  templ.PriceList()->LoadFromStream(stream);
  graph.EventsEnabled = true;
}

// The start-up's reading: the template, the graph (its events off), the stamp, the price list,
// then the link map. Freeing it all (the graph first: its elements point into the template) is
// not timed.
void BM_LoadWholeScheme(benchmark::State& state) {
  const std::vector<std::uint8_t>& bytes = SchemeBytes(kWholeScheme, state);
  TSpecDataStream stream;
  stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  std::int64_t links = 0;
  for (auto _ : state) {
    stream.Rewind();
    auto templ = std::make_unique<TSpecTemplate>();
    auto graph = std::make_unique<TScheme>();
    auto linkMap = std::make_unique<TSpecLinkMap>(templ.get());
    ReadAsTheStartUp(stream, *templ, *graph);
    linkMap->Build(graph.get());
    if (stream.Remaining() != 0) state.SkipWithError("scheme not read to its end");
    links = linkMap->Count();
    benchmark::DoNotOptimize(linkMap.get());
    state.PauseTiming();
    graph.reset();
    linkMap.reset();
    templ.reset();
    state.ResumeTiming();
  }
  ReportSize(state, bytes);
  state.counters["links"] = static_cast<double>(links);
}

void MemcpyChecksum(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> copy(bytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    std::uint64_t sum = 0;
    for (std::uint8_t b : copy) sum += b;
    benchmark::DoNotOptimize(sum);
    benchmark::ClobberMemory();
  }
  ReportSize(state, bytes);
}

void BM_MemcpyChecksumTemplate(benchmark::State& state) {
  MemcpyChecksum(state, SchemeBytes(kTemplateOnly, state));
}

void BM_MemcpyChecksumWholeScheme(benchmark::State& state) {
  MemcpyChecksum(state, SchemeBytes(kWholeScheme, state));
}

// Arguments: scale, bytes per resource.
void Scales(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"scale", "resource"});
  bench->ArgsProduct({{1, 10, 100}, {22000, 16}});
  bench->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_LoadTemplate)->Apply(Scales);
BENCHMARK(BM_MemcpyChecksumTemplate)->Apply(Scales);
BENCHMARK(BM_LoadWholeScheme)->Apply(Scales);
BENCHMARK(BM_MemcpyChecksumWholeScheme)->Apply(Scales);

// --- The start-up in a fresh process -----------------------------------------------------------

// The first argument that makes the program a child: the way, then the scheme file.
constexpr const char* kStartUpChild = "--start-up-child";

std::int64_t ProcessCpuNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The start-up from the resource on: a stream of that class filled from "QZSCHEME", read, and
// freed before the link map is built. Remaining is what the read left of the stream.
template <typename Stream>
bool ReadResourceAsTheStartUp(TSpecTemplate& templ, TScheme& graph, TSpecLinkMap& linkMap,
                              std::uint64_t& remaining) {
  auto stream = std::make_unique<Stream>();
  if (!stream->LoadFromResource("QZSCHEME")) return false;
  ReadAsTheStartUp(*stream, templ, graph);
  remaining = stream->Remaining();
  stream.reset();
  linkMap.Build(&graph);
  return true;
}

// Maps the file, registers it as the module's "QZSCHEME", runs one way and prints the CPU and
// the wall nanoseconds it took, a check number and the links built. The objects the start-up makes before it reads (the
// template, the graph, the link map) are made first, and nothing is freed in the time.
int RunStartUpChild(std::string_view way, const char* fileName) {
  const int file = ::open(fileName, O_RDONLY);
  struct stat info {};
  if (file < 0 || ::fstat(file, &info) != 0) return 2;
  const auto size = static_cast<std::size_t>(info.st_size);
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
  ::close(file);
  if (mapped == MAP_FAILED) return 2;
  const TModuleResource table[] = {{"QZSCHEME", static_cast<const unsigned char*>(mapped), size}};
  SetModuleResources(table);

  auto templ = std::make_unique<TSpecTemplate>();
  auto graph = std::make_unique<TScheme>();
  auto linkMap = std::make_unique<TSpecLinkMap>(templ.get());
  std::uint64_t check = 0;
  const auto begin = std::chrono::steady_clock::now();
  const std::int64_t cpuBegin = ProcessCpuNanoseconds();
  if (way == "memcpy") {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    std::memcpy(copy.get(), mapped, size);
    for (std::size_t i = 0; i < size; ++i) check += copy[i];
  } else if (way == "copy") {
    if (!ReadResourceAsTheStartUp<TSpecDataStream>(*templ, *graph, *linkMap, check)) return 3;
  } else if (way == "view") {
    if (!ReadResourceAsTheStartUp<TSpecDataView>(*templ, *graph, *linkMap, check)) return 3;
  } else {
    return 4;
  }
  const std::int64_t cpuEnd = ProcessCpuNanoseconds();
  const auto end = std::chrono::steady_clock::now();
  std::printf("%lld %lld %llu %d\n", static_cast<long long>(cpuEnd - cpuBegin),
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::nanoseconds>(end - begin).count()),
              static_cast<unsigned long long>(check), linkMap->Count());
  std::fflush(stdout);
  // The process ends here; freeing the scheme is not the start-up's.
  std::_Exit(0);
}

// The scheme of that scale in a file of the temporary folder, written once and removed at exit.
const std::string& SchemeFile(int scale) {
  struct Files {
    ~Files() {
      std::error_code ignored;
      for (const auto& [scale, name] : Names) std::filesystem::remove(name, ignored);
    }
    std::map<int, std::string> Names;
  };
  static Files files;
  std::string& name = files.Names[scale];
  if (name.empty()) {
    name =
        (std::filesystem::temp_directory_path() /
         ("quorvane-start-up-" + std::to_string(::getpid()) + "-" + std::to_string(scale) + ".qzs"))
            .string();
    const std::vector<std::uint8_t>& bytes = SchemeBytes(kWholeScheme, scale, kRealResourceBytes);
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
      name.clear();
    }
  }
  return name;
}

// Runs this program as a child of that way on the file; false when it failed.
bool RunChild(const char* way, const std::string& fileName, double& seconds, double& wallSeconds,
              std::uint64_t& check, int& links) {
  int pipe[2];
  if (::pipe(pipe) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe[0]);
  std::string program = "/proc/self/exe";
  std::string flag = kStartUpChild;
  std::string wayArgument = way;
  std::string file = fileName;
  char* argv[] = {program.data(), flag.data(), wayArgument.data(), file.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  std::string output;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) {
    output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe[0]);
  if (spawned != 0) return false;
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return false;
  }
  long long nanoseconds = 0;
  long long wallNanoseconds = 0;
  unsigned long long checked = 0;
  if (std::sscanf(output.c_str(), "%lld %lld %llu %d", &nanoseconds, &wallNanoseconds, &checked,
                  &links) != 4) {
    return false;
  }
  seconds = static_cast<double>(nanoseconds) / 1e9;
  wallSeconds = static_cast<double>(wallNanoseconds) / 1e9;
  check = checked;
  return true;
}

void StartUpInAFreshProcess(benchmark::State& state, const char* way) {
  const auto scale = static_cast<int>(state.range(0));
  const std::string& fileName = SchemeFile(scale);
  const std::vector<std::uint8_t>& bytes = SchemeBytes(kWholeScheme, scale, kRealResourceBytes);
  if (fileName.empty()) {
    state.SkipWithError("the scheme file could not be written");
    return;
  }
  std::uint64_t check = 0;
  int links = 0;
  double wallSeconds = 0;
  for (auto _ : state) {
    double seconds = 0;
    double wall = 0;
    if (!RunChild(way, fileName, seconds, wall, check, links)) {
      state.SkipWithError("the child failed");
      break;
    }
    state.SetIterationTime(seconds);
    wallSeconds += wall;
  }
  state.counters["wall"] =
      benchmark::Counter(wallSeconds * 1e3, benchmark::Counter::kAvgIterations);
  // A read must end where the scheme ends.
  if (std::string_view(way) != "memcpy" && check != 0) {
    state.SkipWithError("scheme not read to its end");
  }
  ReportSize(state, bytes);
  if (std::string_view(way) != "memcpy") state.counters["links"] = links;
}

void StartUpScales(benchmark::internal::Benchmark* bench) {
  bench->ArgName("scale")->Arg(1)->Arg(10)->Arg(100);
  bench->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(StartUpInAFreshProcess, copy, "copy")->Apply(StartUpScales);
BENCHMARK_CAPTURE(StartUpInAFreshProcess, view, "view")->Apply(StartUpScales);
BENCHMARK_CAPTURE(StartUpInAFreshProcess, memcpy_checksum, "memcpy")->Apply(StartUpScales);

}  // namespace

// The benchmarks, or, with kStartUpChild, one child of the fresh-process figures.
int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == kStartUpChild) {
    return RunStartUpChild(argv[2], argv[3]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
