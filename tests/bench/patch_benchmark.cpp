// patch-benchmark [--repeat N] [--xdelta3 PATH]
//
// Measures, side by side on this machine, the full add run and the full removal run of every
// edition on its sample installation (null sink), against
//   - the floor: the same reads and writes, in the same 4096-byte chunks, without decoding,
//     summing or XOR-ing;
//   - a peer: xdelta3 -d applying VCDIFF deltas between the same old and new files;
// the time of decoding every mask the add run decodes ("masks", part of the run's time),
// and the byte sum against plain memory reading, and the peak memory of a run against the
// largest mask. Prints ratios. Each time is the fastest of N repetitions (files in the page
// cache, as after the survey that precedes every real run).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "engine/file_io.h"
#include "engine/mask.h"
#include "engine/patch_run.h"
#include "tests/unit/payload_files.h"
#include "tools/make-sample/sample_installation.h"

namespace fs = std::filesystem;

namespace {

class NullSink final : public ProgressSink {
 public:
  void showStatus(const char*) override {}
  void showProgress(int32_t) override {}
  bool pausePoint() override { return true; }
  void finishRun() override {}
};

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The fastest of `repeat` timings of `work`, each after an untimed `prepare`.
double fastest(int repeat, const std::function<void()>& prepare,
               const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < repeat; ++i) {
    prepare();
    best = std::min(best, secondsOf(work));
  }
  return best;
}

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "patch-benchmark: %s\n", what.c_str());
  std::exit(1);
}

std::string oldestState(const EditionData& edition) { return sampleStates(edition).front(); }

void writeSample(const EditionData& edition, const std::string& state, const std::string& dir) {
  std::string error;
  if (!writeSampleInstallation(edition, state, dir, &error)) die(error);
}

bool runOnce(const EditionData& edition, const PatchTable& table, const PayloadLookup& payloads) {
  CatalogueMessages messages(edition.catalogue, edition.catalogueCount);
  RunInputs inputs{&table, edition.progressTotal, &messages, &payloads, &standardFileIo()};
  static RunResults results;
  results = RunResults{};
  NullSink sink;
  return runPatch(inputs, sink, results) && results.problem == 0;
}

// The run's file traffic without its work: for each row, read the whole target in chunks,
// then read, reposition and write back each chunk below oldSize in place, and write the tail
// of a growing row. Content stays as it was.
void floorOnce(const PatchTable& table) {
  FileIo& io = standardFileIo();
  static unsigned char chunk[kChunkSize];
  static const unsigned char zeros[kChunkSize * 4] = {};
  for (int r = 0; r < table.rowCount; ++r) {
    const PatchEntry& row = table.rows[r];
    {
      UniqueFile file = openFile(io, row.targetPath, "rb");
      if (!file) die("floor: cannot read target");
      while (io.read(file.get(), chunk, sizeof chunk) != 0) {
      }
    }
    if (row.payloadName[0] == '\0') continue;
    UniqueFile file = openFile(io, row.targetPath, "r+b");
    if (!file) die("floor: cannot open target");
    int64_t offset = 0;
    io.seek(file.get(), 0);
    for (;;) {
      const int64_t wanted = std::min<int64_t>(kChunkSize, row.oldSize - offset);
      const size_t got = wanted > 0 ? io.read(file.get(), chunk, static_cast<size_t>(wanted)) : 0;
      io.seek(file.get(), offset);
      if (got == 0) break;
      io.write(file.get(), chunk, got);
      offset += static_cast<int64_t>(got);
      io.seek(file.get(), offset);
    }
    for (int64_t tail = row.newSize - row.oldSize; tail > 0;) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(tail, sizeof zeros));
      io.write(file.get(), zeros, n);
      tail -= static_cast<int64_t>(n);
    }
  }
}

std::vector<char> readAll(const std::string& path) {
  std::vector<char> bytes(fs::file_size(path));
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    die("cannot read " + path);
  }
  std::fclose(file);
  return bytes;
}

std::string shellQuote(const std::string& text) { return "'" + text + "'"; }

int system(const std::string& command) { return std::system(command.c_str()); }

// Makes one VCDIFF delta for every file that changes from one sample state to the next (so
// one per row that the add run rewrites) below `work`. Returns the (old file, delta) pairs.
std::vector<std::pair<std::string, std::string>> makeDeltas(const EditionData& edition,
                                                            const std::string& xdelta,
                                                            const std::string& work) {
  std::vector<std::pair<std::string, std::string>> pairs;
  const std::vector<std::string> states = sampleStates(edition);
  for (size_t s = 0; s + 1 < states.size(); ++s) {
    const std::string from = work + "/" + states[s];
    const std::string to = work + "/" + states[s + 1];
    writeSample(edition, states[s], from);
    writeSample(edition, states[s + 1], to);
    for (const std::string& target : sampleTargets(edition)) {
      std::string path = target;
      std::replace(path.begin(), path.end(), '\\', '/');
      if (readAll(from + "/" + path) == readAll(to + "/" + path)) continue;  // untouched here
      const std::string delta = work + "/delta-" + std::to_string(pairs.size()) + ".vcdiff";
      if (system(shellQuote(xdelta) + " -e -f -9 -s " + shellQuote(from + "/" + path) + " " +
                 shellQuote(to + "/" + path) + " " + shellQuote(delta)) != 0) {
        die("xdelta3 -e failed");
      }
      pairs.emplace_back(from + "/" + path, delta);
    }
  }
  return pairs;
}

void xdeltaOnce(const std::string& xdelta,
                const std::vector<std::pair<std::string, std::string>>& pairs,
                const std::string& out) {
  for (const auto& [old, delta] : pairs) {
    if (system(shellQuote(xdelta) + " -d -f -s " + shellQuote(old) + " " + shellQuote(delta) +
               " " + shellQuote(out)) != 0) {
      die("xdelta3 -d failed");
    }
  }
}

// Peak resident memory (KiB) of a child process that runs `work`.
long childPeakKiB(const std::function<void()>& work) {
  const pid_t pid = fork();
  if (pid < 0) die("fork failed");
  if (pid == 0) {
    work();
    _exit(0);
  }
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    die("child failed");
  }
  return usage.ru_maxrss;
}

void printHeading() {
  std::printf("%-15s %9s %9s %9s %9s %9s %9s %11s %9s\n", "edition", "add ms", "remove ms",
              "floor ms", "masks ms", "add/floor", "rem/floor", "xdelta3 ms", "add/xd3");
}

void byteSumThroughput() {
  const size_t size = size_t{64} << 20;
  std::vector<unsigned char> buffer(size);
  for (size_t i = 0; i < size; ++i) buffer[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
  volatile uint32_t sink32 = 0;
  volatile uint64_t sink64 = 0;
  const double sum = fastest(5, [] {}, [&] { sink32 = addToByteSum(0, buffer.data(), size); });
  const double read = fastest(5, [] {}, [&] {
    uint64_t acc = 0;
    for (size_t i = 0; i + 8 <= size; i += 8) {
      uint64_t word;
      std::memcpy(&word, &buffer[i], 8);
      acc ^= word;
    }
    sink64 = acc;
  });
  std::printf("\nByte sum over 64 MiB in memory: %.0f MiB/s; plain reading (64-bit XOR): %.0f MiB/s;"
              " ratio %.2f\n",
              64 / sum, 64 / read, sum / read);
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 7;
  std::string xdelta = "xdelta3";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--xdelta3") == 0 && i + 1 < argc) {
      xdelta = argv[++i];
    } else {
      std::printf("usage: patch-benchmark [--repeat N] [--xdelta3 PATH]\n");
      return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
    }
  }
  const bool haveXdelta = system(shellQuote(xdelta) + " -V >/dev/null 2>&1") == 0;

  const fs::path root = fs::temp_directory_path() / ("patch-benchmark-" + std::to_string(getpid()));
  fs::create_directories(root);
  const fs::path previous = fs::current_path();

  std::printf("Times are the fastest of %d; files in the page cache.\n\n", repeat);
  printHeading();
  bool ok = true;
  for (const EditionData* edition : kAllEditions) {
    MemoryPayloads payloads;
    std::string error;
    if (!loadEditionPayloads(*edition, &payloads, &error)) die(error);
    const std::string dir = (root / edition->id).string();
    PatchTable removal = edition->table;
    invertTable(removal);

    fs::current_path(previous);
    const std::string oldest = oldestState(*edition);
    auto fresh = [&] {
      fs::current_path(previous);
      fs::remove_all(dir);
      writeSample(*edition, oldest, dir);
      fs::current_path(dir);
    };
    const double add = fastest(repeat, fresh, [&] { ok &= runOnce(*edition, edition->table, payloads); });
    const double remove = fastest(
        repeat, [&] { fresh(); runOnce(*edition, edition->table, payloads); },
        [&] { ok &= runOnce(*edition, removal, payloads); });
    const double floor = fastest(repeat, fresh, [&] { floorOnce(edition->table); });
    const double decode = fastest(repeat, [] {}, [&] {
      for (int r = 0; r < edition->table.rowCount; ++r) {
        ok &= loadMask(edition->table.rows[r], payloads) != nullptr;
      }
    });

    double xd = 0;
    if (haveXdelta) {
      fs::current_path(previous);
      const std::string work = (root / (std::string(edition->id) + "-xdelta")).string();
      const auto pairs = makeDeltas(*edition, xdelta, work);
      xd = fastest(repeat, [] {}, [&] { xdeltaOnce(xdelta, pairs, work + "/out.bin"); });
    }
    std::printf("%-15s %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f %11.2f %9.2f\n", edition->name,
                add * 1e3, remove * 1e3, floor * 1e3, decode * 1e3, add / floor, remove / floor,
                xd * 1e3, xd > 0 ? add / xd : 0.0);

    if (edition == &kEditionNa) {
      long maskBytes = 0;
      for (int r = 0; r < edition->table.rowCount; ++r) {
        maskBytes = std::max<long>(maskBytes, maskLength(edition->table.rows[r]));
      }
      fresh();
      const long idle = childPeakKiB([] {});
      fresh();
      const long run = childPeakKiB([&] { runOnce(*edition, edition->table, payloads); });
      std::printf("\nPeak memory of the North American add run: %ld KiB above an idle process;"
                  " largest mask %ld KiB; limit (mask + 256 KiB) %ld KiB: %s\n\n",
                  run - idle, maskBytes / 1024, maskBytes / 1024 + 256,
                  run - idle < maskBytes / 1024 + 256 ? "within" : "OVER");
      printHeading();
    }
  }
  if (!haveXdelta) std::printf("(xdelta3 not found: no peer figures)\n");
  byteSumThroughput();
  fs::current_path(previous);
  fs::remove_all(root);
  if (!ok) die("a run reported a problem");
  return 0;
}
