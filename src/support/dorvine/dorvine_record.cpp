#include "dorvine.h"

// Placeholder until the header library lands.
void YHeaderEncode(const YHeaderRecord*, uint8_t*) {}
void YHeaderDecode(const uint8_t*, YHeaderRecord*) {}
void YDataFormatEncode(const YDataFormat*, uint8_t*) {}
void YDataFormatDecode(const uint8_t*, YDataFormat*) {}
