// The ZTEX header record as read from the 36 little-endian bytes of a file.
#include "ZTEX.h"

#include "LittleEndian.h"

void ReadZtexHeader(const uint8_t* bytes, ZtexHeader* header) {
  for (int i = 0; i < 4; ++i) header->Signature[i] = bytes[i];
  header->Reserved1 = Load32(bytes + 4);
  header->Format = Load32(bytes + 8);
  header->Width = Load32(bytes + 12);
  header->Height = Load32(bytes + 16);
  header->MipMapCount = Load32(bytes + 20);
  header->Reserved2 = Load32(bytes + 24);
  header->Reserved3 = Load32(bytes + 28);
  header->Reserved4 = Load32(bytes + 32);
}

bool HasZtexSignature(const ZtexHeader& header) {
  return header.Signature[0] == 'Z' && header.Signature[1] == 'T' && header.Signature[2] == 'E' &&
         header.Signature[3] == 'X';
}
