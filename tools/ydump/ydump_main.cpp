// ydump: shows and checks quorvale's Y files (and the head of X-files).
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ydump_file.h"
#include "ydump_time.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadFile = 2;
constexpr int kExitVerifyFailed = 3;

constexpr const char* kUsage =
    "Usage: ydump [--samples [--time]] [--verify] FILE...\n"
    "Shows the tags and header record of quorvale's Y files and X-files.\n"
    "  (no option)  the tags, the header record and whether the file is finished\n"
    "  --samples    the samples instead, one per line (Y files only)\n"
    "  --time       with --samples: each sample's ISO 8601 time and a tab before it\n"
    "               (implies --samples)\n"
    "  --verify     recompute the sample count, mean, largest and smallest from the\n"
    "               samples and check the tags against the file's size\n"
    "  -h, --help   this text\n"
    "Exit codes: 0 everything shown or verified; 1 bad command line; 2 a file\n"
    "cannot be read or its tags are broken; 3 a verified file fails a check.\n";

struct Options {
  bool samples = false;
  bool time = false;
  bool verify = false;
  std::vector<std::string> files;
};

void Complain(const std::string& path, const std::string& what) {
  std::fflush(stdout);
  std::fprintf(stderr, "ydump: %s: %s\n", path.c_str(), what.c_str());
}

const char* TagRole(const YdumpFile& file, size_t index) {
  switch (file.tags[index].type) {
    case kTagTypeLeading:
      return index == 0 ? " (leading)" : "";
    case kTagTypeHeaderRecord:
      return " (header record)";
    case kTagTypeDataFormat:
      return " (data format)";
    case kTagTypeSamples:
      return " (samples)";
    case kTagTypeXBlocks:
      return " (XBlocks)";
    default:
      return "";
  }
}

std::string Number(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

int ShowFile(const YdumpFile& file) {
  const char* kind = file.kind == YdumpKind::kYFile   ? "Y file"
                     : file.kind == YdumpKind::kXFile ? "X-file"
                                                      : "tagged file of unknown kind";
  std::printf("%s: %s, %llu bytes\n", file.path.c_str(), kind,
              static_cast<unsigned long long>(file.size));
  for (size_t i = 0; i < file.tags.size(); ++i) {
    const YdumpTag& tag = file.tags[i];
    std::printf("  tag at %llu: type %u%s, length %lu, aux %lu\n",
                static_cast<unsigned long long>(tag.offset), static_cast<unsigned>(tag.type),
                TagRole(file, i), static_cast<unsigned long>(tag.length),
                static_cast<unsigned long>(tag.aux));
  }
  if (file.hasRecord) {
    const YHeaderRecord& r = file.record;
    std::printf("  network       %s\n", YdumpText(r.network, sizeof r.network).c_str());
    std::printf("  station       %s\n", YdumpText(r.station, sizeof r.station).c_str());
    std::printf("  location      %s\n", YdumpText(r.location, sizeof r.location).c_str());
    std::printf("  channel       %s\n", YdumpText(r.channel, sizeof r.channel).c_str());
    std::printf("  start time    %s\n", YdumpIsoTime(r.startTimeNs).c_str());
    std::printf("  sample rate   %s\n", Number(r.sampleRate).c_str());
    std::printf("  sample count  %lu\n", static_cast<unsigned long>(r.sampleCount));
    std::printf("  mean          %ld\n", static_cast<long>(r.mean));
    std::printf("  largest       %ld\n", static_cast<long>(r.largest));
    std::printf("  smallest      %ld\n", static_cast<long>(r.smallest));
    std::printf("  file type     %s\n", YdumpText(r.fileType, sizeof r.fileType).c_str());
  } else {
    std::printf("  no header record\n");
  }
  if (file.hasFormat) {
    const auto order = static_cast<unsigned char>(file.format.byteOrder);
    const char* encoding = file.format.encoding == kEncodingSteim1  ? " (Steim-1 XBlocks)"
                           : file.format.encoding == kEncodingInt32 ? " (int32 samples)"
                                                                     : "";
    if (order >= 0x21 && order < 0x7F) {
      std::printf("  data format   encoding %lu%s, byte order '%c'\n",
                  static_cast<unsigned long>(file.format.encoding), encoding, order);
    } else {
      std::printf("  data format   encoding %lu%s, byte order 0x%02X\n",
                  static_cast<unsigned long>(file.format.encoding), encoding,
                  static_cast<unsigned>(order));
    }
  }
  if (file.kind == YdumpKind::kYFile) {
    std::printf("  state         %s\n", YdumpIsFinished(file) ? "finished" : "unfinished");
  } else if (file.kind == YdumpKind::kXFile) {
    std::printf("  XBlocks       %llu whole, %llu bytes over\n",
                static_cast<unsigned long long>(file.dataBytes / 4096),
                static_cast<unsigned long long>(file.dataBytes % 4096));
  }
  for (const std::string& problem : file.problems) Complain(file.path, problem);
  return file.problems.empty() ? kExitOk : kExitBadFile;
}

int ShowSamples(const YdumpFile& file, bool withTime) {
  if (file.kind != YdumpKind::kYFile) {
    Complain(file.path, "not a Y file: only Y files hold plain samples");
    return kExitBadFile;
  }
  const int64_t start = file.hasRecord ? file.record.startTimeNs : 0;
  const double rate = file.hasRecord ? file.record.sampleRate : 0.0;
  uint64_t index = 0;
  std::string out;
  std::string error;
  const bool read = YdumpForEachSamples(
      file,
      [&](const int32_t* samples, size_t count) {
        out.clear();
        for (size_t i = 0; i < count; ++i, ++index) {
          if (withTime) {
            out += YdumpIsoTime(YdumpSampleTime(start, rate, index));
            out += '\t';
          }
          char text[16];
          const auto result = std::to_chars(text, text + sizeof text, samples[i]);
          out.append(text, result.ptr);
          out += '\n';
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
      },
      &error);
  if (!read) {
    Complain(file.path, error);
    return kExitBadFile;
  }
  if (file.dataBytes % 4 != 0) {
    Complain(file.path, "the data part ends with a partial sample");
    return kExitBadFile;
  }
  return kExitOk;
}

int VerifyFile(const YdumpFile& file) {
  YdumpStats stats;
  std::vector<std::string> failures;
  if (YdumpVerify(file, &stats, &failures)) {
    std::printf("%s: verified: %llu samples, mean %ld, largest %ld, smallest %ld\n",
                file.path.c_str(), static_cast<unsigned long long>(stats.count),
                static_cast<long>(stats.mean), static_cast<long>(stats.largest),
                static_cast<long>(stats.smallest));
    return kExitOk;
  }
  for (const std::string& failure : failures) Complain(file.path, failure);
  return kExitVerifyFailed;
}

int Run(const Options& options) {
  int exitCode = kExitOk;
  for (const std::string& path : options.files) {
    YdumpFile file;
    std::string error;
    int result = kExitOk;
    if (!YdumpInspect(path, &file, &error)) {
      Complain(path, error);
      result = kExitBadFile;
    } else {
      if (options.samples) result = ShowSamples(file, options.time);
      if (options.verify) {
        const int verified = VerifyFile(file);
        if (verified > result) result = verified;
      }
      if (!options.samples && !options.verify) result = ShowFile(file);
    }
    if (result > exitCode) exitCode = result;
  }
  std::fflush(stdout);
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnd && arg[0] == '-' && arg[1] != '\0') {
      if (std::strcmp(arg, "--") == 0) {
        optionsEnd = true;
      } else if (std::strcmp(arg, "--samples") == 0) {
        options.samples = true;
      } else if (std::strcmp(arg, "--time") == 0) {
        options.samples = true;
        options.time = true;
      } else if (std::strcmp(arg, "--verify") == 0) {
        options.verify = true;
      } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
        std::fputs(kUsage, stdout);
        return kExitOk;
      } else {
        std::fprintf(stderr, "ydump: unknown option %s\n%s", arg, kUsage);
        return kExitUsage;
      }
    } else {
      options.files.emplace_back(arg);
    }
  }
  if (options.files.empty()) {
    std::fprintf(stderr, "ydump: no file given\n%s", kUsage);
    return kExitUsage;
  }
  return Run(options);
}
