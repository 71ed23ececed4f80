/* Benchmark-only helper: writes N samples of a seismic-like signal as
 * 4096-byte Steim-1 miniSEED records packed by libmseed 2, so that the
 * end-to-end benchmark also converts records that another encoder made.
 *
 *   mseed_pack OUTPUT SAMPLES SEED STATION [I|M]
 *
 * The signal is band-limited noise of a few hundred counts with an event
 * (a decaying oscillation of up to about 10^5 counts) every 200,000 samples.
 * The last argument chooses the records' byte order (default M). */
#include <libmseed.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void WriteRecord(char *record, int length, void *handlerData) {
  if (fwrite(record, (size_t)length, 1, (FILE *)handlerData) != 1) {
    fprintf(stderr, "mseed_pack: write failed\n");
    exit(3);
  }
}

static uint64_t g_state;

static double Uniform(void) { /* xorshift64*, in [-1, 1) */
  g_state ^= g_state >> 12;
  g_state ^= g_state << 25;
  g_state ^= g_state >> 27;
  return (double)((g_state * 2685821657736338717ULL) >> 11) / 4503599627370496.0 - 1.0;
}

int main(int argc, char **argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: mseed_pack OUTPUT SAMPLES SEED STATION [I|M]\n");
    return 1;
  }
  const long count = atol(argv[2]);
  g_state = 0x9E3779B97F4A7C15ULL ^ (uint64_t)atoll(argv[3]);
  const int littleEndian = argc > 5 && argv[5][0] == 'I';
  if (count <= 0) return 1;

  int32_t *samples = malloc((size_t)count * sizeof *samples);
  if (samples == NULL) return 2;
  double low = 0.0, band = 0.0;
  for (long i = 0; i < count; ++i) {
    low = 0.97 * low + 40.0 * Uniform(); /* two one-pole stages: band-limited */
    band = 0.9 * band + 0.5 * low;
    double value = band;
    const long sinceEvent = i % 200000;
    if (sinceEvent < 20000) {
      value += 100000.0 * exp(-(double)sinceEvent / 3000.0) * sin((double)sinceEvent * 0.07);
    }
    samples[i] = (int32_t)lrint(value);
  }

  FILE *out = fopen(argv[1], "wb");
  if (out == NULL) return 3;
  MSRecord *msr = msr_init(NULL);
  strcpy(msr->network, "XX");
  snprintf(msr->station, sizeof msr->station, "%s", argv[4]);
  strcpy(msr->location, "00");
  strcpy(msr->channel, "HHZ");
  msr->dataquality = 'D';
  msr->starttime = ms_timestr2hptime("2024-01-01T00:00:00.000000");
  msr->samprate = 100.0;
  msr->reclen = 4096;
  msr->encoding = DE_STEIM1;
  msr->byteorder = littleEndian ? 0 : 1;
  msr->datasamples = samples;
  msr->numsamples = count;
  msr->sampletype = 'i';
  int64_t packed = 0;
  const int records = msr_pack(msr, WriteRecord, out, &packed, 1, 0);
  msr->datasamples = NULL;
  msr_free(&msr);
  free(samples);
  if (records < 0 || packed != count || fclose(out) != 0) {
    fprintf(stderr, "mseed_pack: packing failed\n");
    return 2;
  }
  return 0;
}
