#include "ydump_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "kelvast.h"

namespace {

// A listing of more tags than this is not a file of this kind; stop there
// instead of filling memory with a hostile file's zero-length tags.
constexpr size_t kMaxTags = 10000;

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

unsigned long long Ull(uint64_t value) { return static_cast<unsigned long long>(value); }

bool ReadAt(std::ifstream& in, uint64_t offset, uint8_t* bytes, size_t count) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count));
  return static_cast<size_t>(in.gcount()) == count;
}

// The mean as the conversion forms it: the double sum over the count,
// truncated toward zero, clamped to the int32 range, 0 for no samples.
int32_t MeanOf(double sum, uint64_t count) {
  if (count == 0) return 0;
  const double mean = sum / static_cast<double>(count);
  if (!(mean > -2147483649.0)) return INT32_MIN;
  if (mean >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(mean);
}

}  // namespace

std::string YdumpText(const char* field, size_t width) {
  std::string text;
  for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(field[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      text += static_cast<char>(byte);
    } else {
      text += Format("\\x%02X", static_cast<unsigned>(byte));
    }
  }
  return text;
}

bool YdumpInspect(const std::string& path, YdumpFile* file, std::string* error) {
  *file = YdumpFile{};
  file->path = path;
  std::error_code code;
  if (!std::filesystem::is_regular_file(path, code)) {
    *error = code ? code.message() : "not a regular file";
    if (!std::filesystem::exists(path, code)) *error = "no such file";
    return false;
  }
  file->size = std::filesystem::file_size(path, code);
  if (code) {
    *error = code.message();
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the file";
    return false;
  }

  uint64_t offset = 0;
  while (offset < file->size) {
    if (file->tags.size() == kMaxTags) {
      file->problems.push_back(Format("more than %zu tags before any data tag", kMaxTags));
      return true;
    }
    if (file->size - offset < kTagSize) {
      file->problems.push_back(Format("%llu stray bytes at offset %llu, too few for a tag",
                                      Ull(file->size - offset), Ull(offset)));
      return true;
    }
    uint8_t bytes[kTagSize];
    if (!ReadAt(in, offset, bytes, kTagSize)) {
      *error = Format("reading the tag at offset %llu failed", Ull(offset));
      return false;
    }
    YdumpTag tag{};
    tag.offset = offset;
    TagDecode(bytes, &tag);
    if (bytes[0] != kTagSignature0 || bytes[1] != kTagSignature1) {
      file->problems.push_back(
          Format("no tag at offset %llu: the bytes there are %02X %02X, not \"TG\"", Ull(offset),
                 static_cast<unsigned>(bytes[0]), static_cast<unsigned>(bytes[1])));
      return true;
    }
    file->tags.push_back(tag);
    const uint64_t payload = offset + kTagSize;
    if (tag.type == kTagTypeSamples || tag.type == kTagTypeXBlocks) {
      // The data run to the end of the file; their tag's length is checked
      // against them by YdumpVerify (for a Y file it is only the low 32 bits
      // of the byte count).
      file->kind = tag.type == kTagTypeSamples ? YdumpKind::kYFile : YdumpKind::kXFile;
      file->dataOffset = payload;
      file->dataBytes = file->size - payload;
      return true;
    }
    if (tag.length > file->size - payload) {
      file->problems.push_back(Format(
          "the type-%u tag at offset %llu announces %lu bytes, but only %llu follow it",
          static_cast<unsigned>(tag.type), Ull(offset), static_cast<unsigned long>(tag.length),
          Ull(file->size - payload)));
      return true;
    }
    if (tag.type == kTagTypeHeaderRecord && tag.length == kYHeaderRecordSize && !file->hasRecord) {
      uint8_t record[kYHeaderRecordSize];
      if (!ReadAt(in, payload, record, sizeof record)) {
        *error = Format("reading the header record at offset %llu failed", Ull(payload));
        return false;
      }
      YHeaderDecode(record, &file->record);
      file->hasRecord = true;
    } else if (tag.type == kTagTypeDataFormat && tag.length == kYDataFormatSize &&
               !file->hasFormat) {
      uint8_t format[kYDataFormatSize];
      if (!ReadAt(in, payload, format, sizeof format)) {
        *error = Format("reading the data-format record at offset %llu failed", Ull(payload));
        return false;
      }
      YDataFormatDecode(format, &file->format);
      file->hasFormat = true;
    }
    offset = payload + tag.length;
  }
  file->problems.push_back("the file ends without a data tag (type 7 or 23)");
  return true;
}

bool YdumpIsFinished(const YdumpFile& file) {
  return !file.tags.empty() && file.tags[0].type == kTagTypeLeading && file.tags[0].aux != 0 &&
         file.hasRecord && std::memcmp(file.record.fileType, "YFILE", 6) == 0;
}

bool YdumpVerify(const YdumpFile& file, YdumpStats* stats, std::vector<std::string>* failures) {
  const size_t before = failures->size();
  if (file.kind == YdumpKind::kXFile) {
    failures->push_back("an X-file, not a Y file: its samples are compressed; convert it first");
    return false;
  }
  for (const std::string& problem : file.problems) failures->push_back(problem);

  if (file.tags.empty() || file.tags[0].offset != 0 || file.tags[0].type != kTagTypeLeading ||
      file.tags[0].length != 0) {
    failures->push_back("the file does not begin with a leading tag (type 0, length 0)");
  } else if (file.tags[0].aux == 0) {
    failures->push_back("unfinished: the leading tag was never completed (it says 0 bytes follow)");
  } else if (file.tags[0].aux != static_cast<uint32_t>(file.size - kTagSize)) {
    failures->push_back(Format("the leading tag says %lu bytes follow it, the file has %llu",
                               static_cast<unsigned long>(file.tags[0].aux),
                               Ull(file.size - kTagSize)));
  }

  if (!file.hasRecord) {
    failures->push_back("no header record (a type-5 tag of 64 bytes)");
  } else if (std::memcmp(file.record.fileType, "YFILE", 6) != 0) {
    failures->push_back("unfinished: the header record's file type is \"" +
                        YdumpText(file.record.fileType, 6) + "\", not \"YFILE\"");
  }
  if (!file.hasFormat) {
    failures->push_back("no data-format record (a type-6 tag of 32 bytes)");
  } else if (file.format.encoding != kEncodingInt32 || file.format.byteOrder != 'I') {
    failures->push_back(Format(
        "the data-format record says encoding %lu, byte order 0x%02X; a Y file has 2 and 'I'",
        static_cast<unsigned long>(file.format.encoding),
        static_cast<unsigned>(static_cast<unsigned char>(file.format.byteOrder))));
  }
  if (file.kind != YdumpKind::kYFile) {
    if (file.problems.empty()) failures->push_back("no data tag (type 7)");
    return false;
  }

  const YdumpTag& dataTag = file.tags.back();
  const uint64_t inFile = file.dataBytes / 4;
  if (file.dataBytes % 4 != 0) {
    failures->push_back(Format("the data part of %llu bytes is not a whole number of samples",
                               Ull(file.dataBytes)));
  }
  if (file.hasRecord) {
    const uint32_t count = file.record.sampleCount;
    if (dataTag.length != static_cast<uint32_t>(uint64_t{count} * 4)) {
      failures->push_back(Format(
          "the data tag announces %lu bytes, the header record's %lu samples take %llu",
          static_cast<unsigned long>(dataTag.length), static_cast<unsigned long>(count),
          Ull(uint64_t{count} * 4)));
    }
    if (inFile != count) {
      failures->push_back(Format("the file holds %llu samples, the header record says %lu",
                                 Ull(inFile), static_cast<unsigned long>(count)));
    }
  }

  YdumpStats found;
  double sum = 0.0;
  std::string error;
  const bool read = YdumpForEachSamples(
      file,
      [&](const int32_t* samples, size_t count) {
        for (size_t i = 0; i < count; ++i) {
          if (samples[i] > found.largest) found.largest = samples[i];
          if (samples[i] < found.smallest) found.smallest = samples[i];
          sum += static_cast<double>(samples[i]);
        }
        found.count += count;
      },
      &error);
  if (!read) failures->push_back(error);
  // The conversion divides by the header record's count.
  found.mean = MeanOf(sum, file.hasRecord ? file.record.sampleCount : found.count);
  *stats = found;

  if (file.hasRecord && std::memcmp(file.record.fileType, "YFILE", 6) == 0) {
    const auto compare = [&](const char* name, int32_t stored, int32_t computed) {
      if (stored != computed) {
        failures->push_back(Format("the header record's %s is %ld, the samples give %ld", name,
                                   static_cast<long>(stored), static_cast<long>(computed)));
      }
    };
    compare("mean", file.record.mean, found.mean);
    compare("largest sample", file.record.largest, found.largest);
    compare("smallest sample", file.record.smallest, found.smallest);
  }
  return failures->size() == before;
}
