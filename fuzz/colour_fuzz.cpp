// The colour converter on raw frames of any content, with any picture
// settings and gains, for every camera format and client format the converter
// accepts.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "colspace/colspace.h"
#include "colspace/convert.h"
#include "colspace/format_header.h"
#include "colspace/kernels.h"
#include "core/driver_context.h"

namespace {

HCOLSPACE Record() {
  static const std::string ini = "/tmp/zarncap-colour-fuzz-" + std::to_string(::getpid()) + ".ini";
  static HCOLSPACE record = InitColSpace(ini.c_str());
  return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  HCOLSPACE record = Record();
  if (record == nullptr || !SelectColSpace(record)) return 0;
  const int sets[] = {static_cast<int>(KernelSet::kPortable), static_cast<int>(KernelSet::kSSE2),
                      static_cast<int>(KernelSet::kAVX2), static_cast<int>(KernelSet::kAVX512)};
  ForceKernelSet(static_cast<KernelSet>(sets[in.ConsumeIntegralInRange<int>(0, 3)]));
  SetPictureControls(in.ConsumeIntegralInRange<int16_t>(0, 100), in.ConsumeIntegralInRange<int16_t>(0, 100),
                     in.ConsumeIntegralInRange<int16_t>(0, 100));
  SetColourGains(in.ConsumeIntegralInRange<int16_t>(0, 1000), in.ConsumeIntegralInRange<int16_t>(0, 1000),
                 in.ConsumeIntegralInRange<int16_t>(0, 1000));
  SetAutoWhiteBalance(in.ConsumeBool() ? 1 : 0);

  // A camera format: a mosaic window (client size + 4) or a YUV frame.
  const bool mosaic = in.ConsumeBool();
  const LONG w = 8 * in.ConsumeIntegralInRange<LONG>(1, mosaic ? 40 : 22);
  const LONG h = 4 * in.ConsumeIntegralInRange<LONG>(1, mosaic ? 60 : 34);
  BITMAPINFOHEADER camera =
      MakeFormatHeader(mosaic ? w + 4 : w, mosaic ? h + 4 : h, mosaic ? 8 : 16, mosaic ? FOURCC_PSHU : FOURCC_PYUV);
  const ZarncapFormat& type = kClientFormats[in.ConsumeIntegralInRange<size_t>(0, std::size(kClientFormats) - 1)];
  const int scale = in.ConsumeIntegralInRange<int>(0, 2);  // same size, doubled, or a 10/9 stretch asked for
  BITMAPINFOHEADER client = MakeFormatHeader(scale == 1 ? 2 * w : w, scale == 1 ? 2 * h : h,
                                             static_cast<int16_t>(type.bitCount), type.compression);
  if (!SetColSpaceFormat(CurrentColSpace(), &camera, &client)) return 0;

  std::vector<BYTE> raw = in.ConsumeBytes<BYTE>(79056);
  raw.resize(79056, 0x40);
  std::vector<BYTE> out(GetFormatImageSize(&client));
  ConvertFrame(CurrentColSpace(), raw.data(), out.data());
  return 0;
}
