// File-system faults through the quorvale program: a full disk (a file-size
// limit with SIGXFSZ ignored, so that writes fail with an error), output
// paths that cannot be created, and Y paths that lead back to an X-file.
// Every failure is reported, the run goes on with the next file and ends with
// exit code 0, and no X-file changes.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hardening_support.h"
#include "test_files.h"
#include "xgen.h"

namespace {

namespace fs = std::filesystem;
using hardening::YState;
using Samples = std::vector<int32_t>;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Totals(size_t converted, size_t skipped) {
  return "Done: " + std::to_string(converted) + " X-files converted, " + std::to_string(skipped) +
         " skipped";
}

// X-files of the full-disk batch and the size of their Y files.
struct Source {
  const char* name;
  Samples samples;
  char order;
  size_t YSize() const { return hardening::kBodyOffset + 4 * samples.size(); }
};

const std::vector<Source>& Sources() {
  static const std::vector<Source> sources = {
      {"Xa", XgenMakeSignal(XgenSignal::kNoise, 500, 1), 'I'},
      // A Y file of 1.2 MB: writes reach the disk while the samples are
      // appended, not only when the conversion ends.
      {"Xb", XgenMakeSignal(XgenSignal::kEvents, 300000, 2), 'M'},
      {"Xc", XgenMakeSignal(XgenSignal::kFullRange, 600, 3), 'M'},
      // A Y file of exactly 20 x 512 bytes.
      {"Xd", XgenMakeSignal(XgenSignal::kSteps, 2520, 4), 'I'},
  };
  return sources;
}

struct DiskCase {
  const char* name;
  unsigned limitBlocks;  // ulimit -f, in 512-byte blocks
};

// A write that reaches the limit fails: either while the samples are
// appended, or when the last buffered bytes are flushed before the head is
// rewritten. A Y file that fits the limit exactly is complete.
TEST(FullDisk, EveryFailureReportedAndTheRunGoesOn) {
  const DiskCase cases[] = {
      {"nothing can be written, not even the head", 0},
      {"the limit lies in the first samples", 1},
      {"the limit lies far into the samples of the large file", 1000},
      {"one Y file fits exactly", 20},
      {"the last 512 bytes of that Y file do not fit", 19},
  };
  testfs::TempDir dir;
  fs::create_directory(dir.path() / "x");
  std::map<std::string, std::vector<uint8_t>> xfiles;
  for (const Source& s : Sources()) {
    xfiles[s.name] = hardening::MakeXFile(s.samples, s.order);
    testfs::WriteFile(dir / (std::string("x/") + s.name), xfiles[s.name]);
  }
  ASSERT_EQ(Sources()[3].YSize(), 20u * 512);

  for (const DiskCase& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t limit = size_t{c.limitBlocks} * 512;
    std::string out = "y";
    out += std::to_string(c.limitBlocks);
    fs::create_directory(dir.path() / out);
    const testfs::RunResult run =
        testfs::RunProgram(QUORVALE_BIN, {"-i", "x/X*", "-o", out}, dir.path().string(),
                           hardening::FileSizeLimit(c.limitBlocks));
    EXPECT_EQ(run.exitCode, 0) << run.err;

    size_t converted = 0;
    size_t failedInSamples = 0;
    size_t failedAtFlush = 0;
    for (const Source& s : Sources()) {
      const std::string y = dir / (out + "/" + hardening::YName(s.name));
      if (s.YSize() <= limit) {
        ++converted;
        hardening::ExpectY(y, YState::kFinished, xfiles[s.name], s.samples);
      } else {
        hardening::ExpectY(y, YState::kNotFinished, xfiles[s.name], {});
        // Only the large file's samples reach the disk before the last
        // flush; the small ones fail when the head is to be rewritten.
        if (std::string(s.name) == "Xb") {
          ++failedInSamples;
          EXPECT_NE(run.err.find("WARNING: Writting Y file data failed on " + out +
                                 "/Yb, file skipped"),
                    std::string::npos)
              << run.err;
        } else {
          ++failedAtFlush;
        }
      }
    }
    EXPECT_EQ(Occurrences(run.err, "WARNING: Writting Y file data failed"), failedInSamples);
    EXPECT_EQ(Occurrences(run.err, "WARNING: Seeking Y file back failed"), failedAtFlush)
        << run.err;
    EXPECT_EQ(Occurrences(run.err, "\n"), failedInSamples + failedAtFlush) << run.err;
    EXPECT_NE(run.out.find(Totals(converted, Sources().size() - converted)), std::string::npos)
        << run.out;
  }
  for (const Source& s : Sources()) {
    EXPECT_EQ(testfs::ReadFile(dir / (std::string("x/") + s.name)), xfiles[s.name]);
  }
}

// Output paths that cannot be created, and Y paths that lead to an X-file.
// The batch is x/Xa and x/Yself (an X-file whose Y name is its own name).
TEST(OutputPaths, RefusedPerFileAndTheRunGoesOn) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> prepare;
    const char* output;
    std::vector<std::string> messages;
    bool xaConverted;  // into <output>/Ya
  };
  const Case cases[] = {
      {"the output directory is a file",
       [](const fs::path& root) { testfs::WriteText((root / "o").string(), "not a directory"); },
       "o",
       {"FATAL ERROR: YFileOpen failed on o/Ya", "FATAL ERROR: YFileOpen failed on o/Yself"},
       false},
      {"the Y path is a directory",
       [](const fs::path& root) {
         fs::create_directories(root / "o/Ya");
         fs::create_directories(root / "o/Yself");
       },
       "o",
       {"FATAL ERROR: YFileOpen failed on o/Ya", "FATAL ERROR: YFileOpen failed on o/Yself"},
       false},
      {"the output directory is a symbolic link to the X-files' directory",
       [](const fs::path& root) { fs::create_directory_symlink("x", root / "o"); }, "o",
       {"WARNING: Y file o/Yself is the X-file itself, file skipped"}, true},
      {"the Y path is a chain of symbolic links to the X-file",
       [](const fs::path& root) {
         fs::create_directory(root / "o");
         fs::create_symlink("../x/Yself", root / "o/link");
         fs::create_symlink("link", root / "o/Yself");
       },
       "o", {"WARNING: Y file o/Yself is the X-file itself, file skipped"}, true},
  };
  const Samples a = XgenMakeSignal(XgenSignal::kNoise, 700, 5);
  const Samples self = XgenMakeSignal(XgenSignal::kEvents, 900, 6);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testfs::TempDir dir;
    fs::create_directory(dir.path() / "x");
    const std::vector<uint8_t> xa = hardening::MakeXFile(a, 'I');
    const std::vector<uint8_t> xself = hardening::MakeXFile(self, 'M');
    testfs::WriteFile(dir / "x/Xa", xa);
    testfs::WriteFile(dir / "x/Yself", xself);
    c.prepare(dir.path());
    const bool outputIsFile = fs::is_regular_file(dir.path() / c.output);
    const std::string outputBefore = outputIsFile ? testfs::ReadText(dir / c.output) : "";

    const testfs::RunResult run =
        testfs::RunProgram(QUORVALE_BIN, {"-i", "x/*", "-o", c.output}, dir.path().string());

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Occurrences(run.err, "\n"), c.messages.size()) << run.err;
    for (const std::string& message : c.messages) {
      EXPECT_NE(run.err.find(message), std::string::npos) << message << "\nnot in:\n" << run.err;
    }
    EXPECT_EQ(testfs::ReadFile(dir / "x/Xa"), xa);
    EXPECT_EQ(testfs::ReadFile(dir / "x/Yself"), xself);
    if (outputIsFile) {
      EXPECT_EQ(testfs::ReadText(dir / c.output), outputBefore);
    }
    if (c.xaConverted) {
      hardening::ExpectY(dir / (std::string(c.output) + "/Ya"), YState::kFinished, xa, a);
    }
    EXPECT_NE(run.out.find(Totals(c.xaConverted ? 1 : 0, c.xaConverted ? 1 : 2)),
              std::string::npos)
        << run.out;
  }
}

// Y paths of one run that lead to its own files: another match of the
// pattern (under another name or through a link), or a Y file that an earlier
// match produced (Y names drop the X-file's directory and first character).
// The later match is refused; no X-file and no Y file of the run is lost.
TEST(OneRun, NeverReplacesItsOwnFiles) {
  struct Case {
    const char* name;
    std::vector<std::string> xfiles;  // made with their own samples
    std::function<void(const fs::path&)> prepare;
    const char* pattern;
    const char* output;
    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::string>> converted;  // X-file, its Y file
    size_t skipped;
  };
  const Case cases[] = {
      {"output into the input directory, where a Y name is another X-file",
       {"x/X1", "x/Y1", "x/Z1"}, [](const fs::path&) {}, "x/*", "x",
       {"WARNING: Y file x/Y1 would replace an X-file of this run, x/X1 skipped",
        "WARNING: Y file x/Y1 is the X-file itself, file skipped",
        "WARNING: Y file x/Y1 would replace an X-file of this run, x/Z1 skipped"},
       {}, 3},
      {"a Y path is a hard link to another X-file", {"x/X1", "x/X2"},
       [](const fs::path& root) {
         fs::create_directory(root / "o");
         fs::create_hard_link(root / "x/X2", root / "o/Y1");
       },
       "x/X*", "o", {"WARNING: Y file o/Y1 would replace an X-file of this run, x/X1 skipped"},
       {{"x/X2", "o/Y2"}}, 1},
      {"the same name in two directories", {"a/X2", "b/X2"}, [](const fs::path&) {},
       "[ab]/X2", "y",
       {"WARNING: Y file y/Y2 belongs to another X-file of this run, b/X2 skipped"},
       {{"a/X2", "y/Y2"}}, 1},
      {"names that differ in the first character only", {"x/X1", "x/Z1", "x/X3"},
       [](const fs::path&) {}, "x/*", "y",
       {"WARNING: Y file y/Y1 belongs to another X-file of this run, x/Z1 skipped"},
       {{"x/X1", "y/Y1"}, {"x/X3", "y/Y3"}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testfs::TempDir dir;
    fs::create_directory(dir.path() / "y");
    std::map<std::string, Samples> samples;
    std::map<std::string, std::vector<uint8_t>> xbytes;
    uint64_t seed = 10;
    for (const std::string& x : c.xfiles) {
      fs::create_directories((dir.path() / x).parent_path());
      samples[x] = XgenMakeSignal(XgenSignal::kNoise, 300, ++seed);
      xbytes[x] = hardening::MakeXFile(samples[x], seed % 2 == 0 ? 'I' : 'M');
      testfs::WriteFile(dir / x, xbytes[x]);
    }
    c.prepare(dir.path());

    const testfs::RunResult run =
        testfs::RunProgram(QUORVALE_BIN, {"-i", c.pattern, "-o", c.output}, dir.path().string());

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Occurrences(run.err, "\n"), c.messages.size()) << run.err;
    for (const std::string& message : c.messages) {
      EXPECT_NE(run.err.find(message), std::string::npos) << message << "\nnot in:\n" << run.err;
    }
    for (const std::string& x : c.xfiles) EXPECT_EQ(testfs::ReadFile(dir / x), xbytes[x]) << x;
    for (const auto& [x, y] : c.converted) {
      hardening::ExpectY(dir / y, YState::kFinished, xbytes[x], samples[x]);
    }
    EXPECT_NE(run.out.find(Totals(c.converted.size(), c.skipped)), std::string::npos) << run.out;
  }
}

}  // namespace
