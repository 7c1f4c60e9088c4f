#include "colspace/convert.h"

#include <new>

#include "colspace/colspace_state.h"
#include "colspace/format_header.h"
#include "colspace/kernels.h"
#include "colspace/reconstruct.h"
#include "colspace/writers.h"
#include "colspace/yuv_prepare.h"

namespace {

// ---- converters, one per accepted (source, output) pair

LONG SourceWidth(const ColSpace& cs) { return cs.sourceFormat.biWidth; }
LONG SourceHeight(const ColSpace& cs) { return cs.sourceFormat.biHeight; }

void PrepareYUV(ColSpace& cs, BYTE* frame) { PrepareYUVFrame(cs, frame, SourceWidth(cs), SourceHeight(cs)); }

// The highlight limit and the writer in one pass, through the kernel set in
// use; then the white-balance statistics, as PrepareYUVFrame leaves them.
BOOL PrepareAndWrite(ColSpace& cs, BYTE* frame, BYTE* dest, YUVTarget target) {
  YUVJob job;
  job.frame = frame;
  job.width = static_cast<int>(SourceWidth(cs));
  job.height = static_cast<int>(SourceHeight(cs));
  job.luma = cs.lumaTable;
  job.lumaPairs = LumaPairTable(cs.lumaTable);
  job.destination = dest;
  job.rgb16Table = cs.lookupBlock.get();
  job.paletteTable = cs.lookupTable;
  job.prepare = true;
  if (!ActiveKernels().yuv(job, target)) PortableKernels().yuv(job, target);
  SetYUVChromaBias(cs, job.sumU, job.sumV, SourceWidth(cs), SourceHeight(cs));
  return TRUE;
}

BOOL PyuvToRGB24(ColSpace& cs, BYTE* frame, BYTE* dest) { return PrepareAndWrite(cs, frame, dest, YUVTarget::kRGB24); }

BOOL PyuvToRGB24Double(ColSpace& cs, BYTE* frame, BYTE* dest) {
  PrepareAndWrite(cs, frame, dest, YUVTarget::kRGB24);
  Double2x(dest, SourceHeight(cs), SourceWidth(cs));
  return TRUE;
}

// The intermediate image must hold an RGB24 image of the output size.
bool IntermediateFits(const ColSpace& cs) {
  return cs.intermediateImage != nullptr &&
         cs.intermediateBytes >= static_cast<size_t>(3) * static_cast<size_t>(cs.outputFormat.biWidth) *
                                     static_cast<size_t>(cs.outputFormat.biHeight);
}

BOOL PyuvToRGB16Double(ColSpace& cs, BYTE* frame, BYTE* dest) {
  if (!IntermediateFits(cs)) return FALSE;
  PrepareAndWrite(cs, frame, cs.intermediateImage, YUVTarget::kRGB24);
  Double2x(cs.intermediateImage, SourceHeight(cs), SourceWidth(cs));
  return Reformat_RGB24_To_RGB16(cs, cs.intermediateImage, dest);
}

// Without the lookup table it needs, a frame is still prepared (its
// statistics taken) and then fails.
BOOL PyuvToRGB16(ColSpace& cs, BYTE* frame, BYTE* dest) {
  if (cs.lookupKind == LOOKUP_RGB16) return PrepareAndWrite(cs, frame, dest, YUVTarget::kRGB16);
  PrepareYUV(cs, frame);
  return FALSE;
}

BOOL PyuvToPal8(ColSpace& cs, BYTE* frame, BYTE* dest) {
  if (cs.lookupKind == LOOKUP_PALETTE_INDEX && cs.lookupTable != nullptr) {
    return PrepareAndWrite(cs, frame, dest, YUVTarget::kPal8);
  }
  PrepareYUV(cs, frame);
  return FALSE;
}

template <YUVTarget Target>
BOOL PyuvToYUV(ColSpace& cs, BYTE* frame, BYTE* dest) {
  return PrepareAndWrite(cs, frame, dest, Target);
}

// The demosaic geometry is module-wide: a frame is reconstructed only when it
// was shaped for this record's source.
bool GeometryFits(const ColSpace& cs) {
  const ColourState& module = Colour();
  return module.greenPlane != nullptr && module.geometry.width == SourceWidth(cs) &&
         module.geometry.height == SourceHeight(cs);
}

BOOL PshuToRGB24(ColSpace& cs, BYTE* frame, BYTE* dest) {
  if (!GeometryFits(cs)) return FALSE;
  if (!ReconstructRawFrame(cs, frame, dest)) return FALSE;
  if (cs.doubleSize) Double2x(dest, cs.outputFormat.biHeight, cs.outputFormat.biWidth);
  return TRUE;
}

BOOL PshuToRGB16(ColSpace& cs, BYTE* frame, BYTE* dest) {
  if (!GeometryFits(cs) || !IntermediateFits(cs)) return FALSE;
  if (!ReconstructRawFrame(cs, frame, cs.intermediateImage)) return FALSE;
  return Reformat_RGB24_To_RGB16(cs, cs.intermediateImage, dest);
}

// ---- format rules

bool IsTwice(const BITMAPINFOHEADER& source, const BITMAPINFOHEADER& output) {
  return output.biWidth == 2 * source.biWidth && output.biHeight == 2 * source.biHeight;
}

bool SameSize(const BITMAPINFOHEADER& source, const BITMAPINFOHEADER& output) {
  return output.biWidth == source.biWidth && output.biHeight == source.biHeight;
}

// A "PYUV" source must describe whole row pairs that fit the raw buffer.
bool PlausibleYUVSource(const BITMAPINFOHEADER& s) {
  if (s.biWidth < 2 || s.biHeight < 2 || s.biWidth % 2 != 0 || s.biHeight % 2 != 0) return false;
  if (s.biWidth > 512) return false;  // the writers' row buffers
  const size_t pixels = static_cast<size_t>(s.biWidth) * static_cast<size_t>(s.biHeight);
  return pixels >= 8 && pixels * 3 / 2 <= kRawBufferSize;
}

// A "PSHU" source must be a whole mosaic (even sides) that the row buffer of
// the de-interleave takes and the raw buffer holds, and must leave at least 8
// reconstructed pixels for the colour statistics.
bool PlausibleMosaicSource(const BITMAPINFOHEADER& s) {
  if (s.biWidth < 6 || s.biHeight < 6 || s.biWidth % 2 != 0 || s.biHeight % 2 != 0) return false;
  if (s.biWidth >= kDeinterleaveRowBytes) return false;
  const size_t pixels = static_cast<size_t>(s.biWidth) * static_cast<size_t>(s.biHeight);
  const size_t recon = static_cast<size_t>(s.biWidth - 4) * static_cast<size_t>(s.biHeight - 4);
  return pixels <= kRawBufferSize && recon >= 8;
}

// The result of judging a pair; nothing is stored until it is accepted.
struct Selection {
  ConvertRoutine routine = nullptr;
  int32_t doubleSize = 0;
  int32_t stretch10by9 = 0;
  int32_t reconWidth = 0;
  int32_t reconHeight = 0;
  LONG workWidth = 0;  // output size the converter works at
  LONG workHeight = 0;
};

bool SelectYUVOutput(ColSpace& cs, const BITMAPINFOHEADER& source, BITMAPINFOHEADER& output, Selection& sel) {
  if (!PlausibleYUVSource(source)) return false;
  sel.workWidth = output.biWidth;
  sel.workHeight = output.biHeight;
  if (output.biCompression == 0) {
    if (SameSize(source, output)) {
      switch (output.biBitCount) {
        case 24: sel.routine = PyuvToRGB24; return true;
        case 16: sel.routine = PyuvToRGB16; return true;
        case 8: sel.routine = PyuvToPal8; return true;
        default: return false;
      }
    }
    if (!IsTwice(source, output)) return false;
    // Twice the size exists for 24 and 16 bits only; any other depth would be
    // accepted here and then fail every frame.
    switch (output.biBitCount) {
      case 24: sel.routine = PyuvToRGB24Double; return true;
      case 16:
        if (!AllocIntermediateImage(&cs, &output)) return false;
        sel.routine = PyuvToRGB16Double;
        return true;
      default: return false;
    }
  }
  if (output.biCompression == FOURCC_IYUV) output.biCompression = FOURCC_I420;
  switch (output.biCompression) {
    case FOURCC_YVU9: sel.routine = PyuvToYUV<YUVTarget::kYVU9>; break;
    case FOURCC_I420: sel.routine = PyuvToYUV<YUVTarget::kI420>; break;
    case FOURCC_YV12: sel.routine = PyuvToYUV<YUVTarget::kYV12>; break;
    case FOURCC_YUY2: sel.routine = PyuvToYUV<YUVTarget::kYUY2>; break;
    default: return false;
  }
  // These are written at the source's size whatever the output header says;
  // the application's buffer is sized from the output header, so it must hold
  // what will be written.
  const DWORD written = FormatImageSize(source.biWidth, source.biHeight, 0, output.biCompression);
  const DWORD offered = FormatImageSize(output.biWidth, output.biHeight, output.biBitCount, output.biCompression);
  return offered >= written;
}

bool SelectMosaicOutput(ColSpace& cs, const BITMAPINFOHEADER& source, BITMAPINFOHEADER& output, Selection& sel) {
  if (output.biCompression != 0 || (output.biBitCount != 24 && output.biBitCount != 16)) return false;
  if (!PlausibleMosaicSource(source)) return false;
  if (output.biBitCount == 16 && !AllocIntermediateImage(&cs, &output)) return false;
  LONG w = output.biWidth;
  LONG h = output.biHeight;
  if (w > 320 && h > 240) {
    if (output.biBitCount == 16) return false;
    sel.doubleSize = 1;
    w /= 2;
    h /= 2;
  }
  sel.reconWidth = source.biWidth - 4;
  sel.reconHeight = source.biHeight - 4;
  if (w == sel.reconWidth && h == sel.reconHeight) {
    sel.stretch10by9 = 0;
  } else if (sel.reconWidth == w * 9 / 10 && sel.reconHeight == h * 9 / 10) {
    // Only sizes the stretch can really produce: accepting one it refuses
    // would fail every frame of a format reported as accepted.
    if (!CanStretch10by9(sel.reconWidth, sel.reconHeight, w, h)) return false;
    sel.stretch10by9 = 1;
  } else {
    return false;
  }
  if (!AllocGreenPlane(source.biWidth, source.biHeight, 3)) return false;
  sel.workWidth = w;
  sel.workHeight = h;
  sel.routine = output.biBitCount == 24 ? PshuToRGB24 : PshuToRGB16;
  return true;
}

}  // namespace

BOOL AllocIntermediateImage(ColSpace* cs, const BITMAPINFOHEADER* output) {
  if (cs == nullptr) return FALSE;
  cs->intermediateFormat = MakeFormatHeader(output->biWidth, output->biHeight, 24, BI_RGB);
  FreeIntermediateImage(cs);
  const DWORD bytes = GetFormatImageSize(&cs->intermediateFormat);
  if (bytes == 0 || bytes == 0xFFFFFFFFu) return FALSE;
  cs->intermediateBlock.reset(new (std::nothrow) BYTE[bytes]);
  if (!cs->intermediateBlock) return FALSE;
  cs->intermediateImage = cs->intermediateBlock.get();
  cs->intermediateBytes = bytes;
  return TRUE;
}

BOOL FreeIntermediateImage(ColSpace* cs) {
  if (cs == nullptr) return TRUE;
  cs->intermediateBlock.reset();
  cs->intermediateImage = nullptr;
  cs->intermediateBytes = 0;
  return TRUE;
}

BOOL SetColSpaceFormat(ColSpace* cs, const BITMAPINFOHEADER* source, BITMAPINFOHEADER* output) {
  if (cs == nullptr || source == nullptr || output == nullptr) return FALSE;
  FreeIntermediateImage(cs);
  const int32_t oldDoubleSize = cs->doubleSize;
  cs->doubleSize = 0;
  Selection sel;
  bool accepted = false;
  if (source->biCompression == FOURCC_PYUV) {
    accepted = SelectYUVOutput(*cs, *source, *output, sel);
  } else if (source->biCompression == FOURCC_PSHU) {
    accepted = SelectMosaicOutput(*cs, *source, *output, sel);
  }
  if (!accepted) {
    // The old formats stay. An intermediate image made for the refused output
    // goes, so the old converter can never write its frame into it; the old
    // 16-bit converters find none and fail rather than overrun.
    FreeIntermediateImage(cs);
    cs->doubleSize = oldDoubleSize;
    return FALSE;
  }
  cs->doubleSize = sel.doubleSize;
  if (source->biCompression == FOURCC_PSHU) {
    cs->reconWidth = sel.reconWidth;
    cs->reconHeight = sel.reconHeight;
    cs->stretch10by9 = sel.stretch10by9;
  }
  cs->sourceFormat = *source;
  cs->outputFormat = *output;
  cs->outputFormat.biWidth = sel.workWidth;
  cs->outputFormat.biHeight = sel.workHeight;
  cs->convertRoutine = sel.routine;
  SelectKernels();
  cs->matrixValid = 0;
  cs->lumaValid = 0;
  UpdateColSpaceTables(cs);
  // The two-pixel luminance table is allocated here, not on a frame; frames
  // only rebuild it when the luminance table has changed.
  LumaPairTable(cs->lumaTable);
  return TRUE;
}

BOOL ConvertFrame(ColSpace* cs, BYTE* frame, BYTE* destination) {
  if (cs == nullptr || frame == nullptr || destination == nullptr) return FALSE;
  UpdateColSpaceTables(cs);
  if (cs->convertRoutine == nullptr) return FALSE;
  if (!cs->convertRoutine(*cs, frame, destination)) return FALSE;
  if (cs->autoWhiteBalance) {
    AdjustWhiteBalance(cs->chromaBiasU, cs->chromaBiasV, &cs->redGain, &cs->greenGain, &cs->blueGain);
    cs->matrixValid = 0;
  }
  return TRUE;
}
