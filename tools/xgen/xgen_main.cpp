// xgen: writes an X-file from a synthetic signal, raw int32 samples or
// 4096-byte SEED data records. See PrintHelp for the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "xgen.h"

namespace {

constexpr const char* kHelp =
    "Usage: xgen [OPTIONS] OUTPUT\n"
    "Writes an X-file (Steim-1 XBlocks behind a tagged header) to OUTPUT.\n"
    "\n"
    "Input, one of (default: --signal noise):\n"
    "  --signal KIND         synthetic samples; KIND is noise, events, fullrange,\n"
    "                        constant or steps\n"
    "  --from-raw FILE       samples from FILE, little-endian int32, 4 bytes each\n"
    "  --from-records FILE   4096-byte SEED data records with Steim-1 data at offset\n"
    "                        64 (blockette 1000 required), wrapped as they are; the\n"
    "                        header record comes from the first record\n"
    "Synthetic signal:\n"
    "  --samples N           number of samples (default 10000)\n"
    "  --seed N              random seed (default 1); constant: the value itself\n"
    "Layout and metadata (not with --from-records):\n"
    "  --order I|M           byte order of the XBlocks: I little-endian (default),\n"
    "                        M big-endian\n"
    "  --network CODE        network code, up to 2 characters (default XX)\n"
    "  --station CODE        station code, up to 5 characters (default XGEN)\n"
    "  --location CODE       location code, up to 2 characters (default 00)\n"
    "  --channel CODE        channel code, up to 3 characters (default HHZ)\n"
    "  --start TIME          first sample, UTC, YYYY-MM-DDTHH:MM:SS[.fraction][Z]\n"
    "                        (default 2024-01-01T00:00:00)\n"
    "  --rate HZ             samples per second (default 100)\n"
    "  --per-block N         at most N samples per XBlock (default: as many as fit)\n"
    "  -h, --help            show this text\n"
    "\n"
    "Options take their value as the next argument or after '='.\n"
    "Exit codes: 0 written; 1 command-line error; 2 input it cannot use;\n"
    "3 OUTPUT cannot be written.\n";

int Usage(const std::string& text) {
  std::fprintf(stderr, "xgen: %s\n(xgen --help shows the options)\n", text.c_str());
  return kXgenExitUsage;
}

bool ParseUnsigned(std::string_view text, uint64_t limit, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool ParseRate(const std::string& text, double* rate) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  *rate = v;
  return true;
}

struct Options {
  std::optional<std::string> signal, fromRaw, fromRecords;
  std::optional<std::string> samples, seed, order, network, station, location, channel, start,
      rate, perBlock;
  std::string output;
  bool help = false;
};

// Fills `options` from argv. Returns an error text, empty on success.
std::string ParseArguments(int argc, char** argv, Options* options) {
  struct Entry {
    const char* name;
    std::optional<std::string> Options::*field;
  };
  static const Entry kEntries[] = {
      {"--signal", &Options::signal},     {"--from-raw", &Options::fromRaw},
      {"--from-records", &Options::fromRecords},
      {"--samples", &Options::samples},   {"--seed", &Options::seed},
      {"--order", &Options::order},       {"--network", &Options::network},
      {"--station", &Options::station},   {"--location", &Options::location},
      {"--channel", &Options::channel},   {"--start", &Options::start},
      {"--rate", &Options::rate},         {"--per-block", &Options::perBlock}};
  bool haveOutput = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options->help = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      const size_t equals = arg.find('=');
      const std::string_view name = arg.substr(0, equals);
      const Entry* entry = nullptr;
      for (const Entry& candidate : kEntries) {
        if (name == candidate.name) entry = &candidate;
      }
      if (entry == nullptr) return "unknown option " + std::string(name);
      if (equals != std::string_view::npos) {
        options->*(entry->field) = std::string(arg.substr(equals + 1));
      } else if (i + 1 < argc) {
        options->*(entry->field) = std::string(argv[++i]);
      } else {
        return "option " + std::string(name) + " needs a value";
      }
      continue;
    }
    if (haveOutput) return "more than one OUTPUT given: " + std::string(arg);
    options->output = arg;
    haveOutput = true;
  }
  if (!options->help && !haveOutput) return "no OUTPUT file given";
  return {};
}

// Builds the station and layout from the options (synthetic and raw input).
std::string ParseLayout(const Options& options, XgenStation* station, char* order,
                        uint32_t* perBlock) {
  if (options.network) station->network = *options.network;
  if (options.station) station->station = *options.station;
  if (options.location) station->location = *options.location;
  if (options.channel) station->channel = *options.channel;
  if (options.start && !XgenParseTime(*options.start, &station->startTimeNs)) {
    return "--start: \"" + *options.start +
           "\" is not a UTC time YYYY-MM-DDTHH:MM:SS[.fraction] (1678-2261)";
  }
  if (options.rate && !ParseRate(*options.rate, &station->sampleRate)) {
    return "--rate: \"" + *options.rate + "\" is not a number";
  }
  std::string error;
  if (!XgenCheckStation(*station, &error)) return error;
  if (options.order) {
    if (*options.order != "I" && *options.order != "M") {
      return "--order: \"" + *options.order + "\" is neither I nor M";
    }
    *order = (*options.order)[0];
  }
  if (options.perBlock) {
    uint64_t value = 0;
    if (!ParseUnsigned(*options.perBlock, UINT32_MAX, &value) || value == 0) {
      return "--per-block: \"" + *options.perBlock + "\" is not a positive whole number";
    }
    *perBlock = static_cast<uint32_t>(value);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string parseError = ParseArguments(argc, argv, &options);
  if (options.help) {
    std::fputs(kHelp, stdout);
    return kXgenExitOk;
  }
  if (!parseError.empty()) return Usage(parseError);

  const int inputs = (options.signal ? 1 : 0) + (options.fromRaw ? 1 : 0) +
                     (options.fromRecords ? 1 : 0);
  if (inputs > 1) return Usage("give only one of --signal, --from-raw and --from-records");
  if ((options.samples || options.seed) && (options.fromRaw || options.fromRecords)) {
    return Usage("--samples and --seed apply to --signal only");
  }
  const char* path = options.output.c_str();
  std::string error;

  if (options.fromRecords) {
    if (options.order || options.network || options.station || options.location ||
        options.channel || options.start || options.rate || options.perBlock) {
      return Usage("--from-records takes layout and metadata from the records; "
                   "drop --order, --network, --station, --location, --channel, --start, "
                   "--rate and --per-block");
    }
    std::vector<uint8_t> records;
    if (!XgenReadFile(options.fromRecords->c_str(), &records, &error)) {
      std::fprintf(stderr, "xgen: %s\n", error.c_str());
      return kXgenExitBadInput;
    }
    XgenRecordInfo info;
    if (!XgenInspectRecords(records, &info, &error)) {
      std::fprintf(stderr, "xgen: %s: %s\n", options.fromRecords->c_str(), error.c_str());
      return kXgenExitBadInput;
    }
    const int result = XgenWrapRecords(path, records, &error);
    if (result != kXgenExitOk) {
      std::fprintf(stderr, "xgen: %s\n", error.c_str());
      return result;
    }
    std::printf("xgen: wrote %s: %u samples in %zu XBlocks, byte order %c\n", path,
                info.sampleCount, info.records, info.bigEndian ? 'M' : 'I');
    return kXgenExitOk;
  }

  XgenStation station;
  char order = 'I';
  uint32_t perBlock = 0;
  const std::string layoutError = ParseLayout(options, &station, &order, &perBlock);
  if (!layoutError.empty()) return Usage(layoutError);

  std::vector<int32_t> samples;
  if (options.fromRaw) {
    std::vector<uint8_t> bytes;
    if (!XgenReadFile(options.fromRaw->c_str(), &bytes, &error) ||
        !XgenSamplesFromRaw(bytes, &samples, &error)) {
      std::fprintf(stderr, "xgen: %s: %s\n", options.fromRaw->c_str(), error.c_str());
      return kXgenExitBadInput;
    }
  } else {
    XgenSignal signal = XgenSignal::kNoise;
    if (options.signal && !XgenSignalFromName(*options.signal, &signal)) {
      return Usage("--signal: unknown kind \"" + *options.signal +
                   "\" (noise, events, fullrange, constant, steps)");
    }
    uint64_t count = 10000;
    uint64_t seed = 1;
    if (options.samples && !ParseUnsigned(*options.samples, UINT32_MAX, &count)) {
      return Usage("--samples: \"" + *options.samples + "\" is not a whole number up to 4294967295");
    }
    if (options.seed && !ParseUnsigned(*options.seed, UINT64_MAX, &seed)) {
      return Usage("--seed: \"" + *options.seed + "\" is not a whole number");
    }
    samples = XgenMakeSignal(signal, static_cast<uint32_t>(count), seed);
  }

  std::vector<uint8_t> blocks;
  if (!XgenEncodeBlocks(samples, station, order != 'I', &blocks, &error, perBlock)) {
    std::fprintf(stderr, "xgen: %s\n", error.c_str());
    return kXgenExitBadInput;
  }
  const YHeaderRecord record = XgenMakeRecord(station, static_cast<uint32_t>(samples.size()));
  if (!XgenWriteXFile(path, record, order, blocks, &error)) {
    std::fprintf(stderr, "xgen: %s\n", error.c_str());
    return kXgenExitWriteFailed;
  }
  std::printf("xgen: wrote %s: %zu samples in %zu XBlocks, byte order %c\n", path,
              samples.size(), XgenBlockTotal(blocks), order);
  return kXgenExitOk;
}
