// The trace's line formatter: the wvsprintfA conventions (%s %c %d %i %u %x %X,
// the l/h/w/I64 size prefixes, '-', '#', '0', width and precision, no floating
// point), writing into a fixed block and cutting the text at its end.
#include <cstdarg>
#include <cstdint>

#include "trace/trace.h"

namespace {

// Writes into a caller's block and never past its last byte; what does not fit
// is dropped, so an over-long line comes out cut rather than overrunning.
class BlockWriter {
 public:
  BlockWriter(char* out, size_t size) : out_(out), capacity_(size == 0 ? 0 : size - 1) {}
  void Put(char c) {
    if (used_ < capacity_) out_[used_++] = c;
  }
  void Repeat(char c, size_t count) {
    for (size_t i = 0; i < count && used_ < capacity_; ++i) Put(c);
  }
  int Finish() {
    out_[used_] = '\0';  // only reached with a block of at least one byte
    return static_cast<int>(used_);
  }

 private:
  char* out_;
  size_t capacity_;
  size_t used_ = 0;
};

enum class Size { Default, Short, Long, Wide, Int64 };

struct Field {
  bool leftAlign = false;
  bool hexPrefix = false;
  bool zeroPad = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
  Size size = Size::Default;
};

// Widths beyond any block are pointless; the cap keeps a hostile "%99999999999d"
// from overflowing the counter.
constexpr size_t kMaxWidth = 4096;

size_t ReadNumber(const char*& p) {
  size_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<size_t>(*p - '0');
    if (value > kMaxWidth) value = kMaxWidth;
    ++p;
  }
  return value;
}

void PutPadded(BlockWriter& w, const Field& field, const char* prefix, const char* body, size_t bodyLength,
               size_t minDigits) {
  size_t prefixLength = 0;
  while (prefix[prefixLength] != '\0') ++prefixLength;
  size_t digitsPad = minDigits > bodyLength ? minDigits - bodyLength : 0;
  size_t total = prefixLength + digitsPad + bodyLength;
  size_t pad = field.width > total ? field.width - total : 0;
  if (!field.leftAlign && !field.zeroPad) w.Repeat(' ', pad);
  for (size_t i = 0; i < prefixLength; ++i) w.Put(prefix[i]);
  if (!field.leftAlign && field.zeroPad) w.Repeat('0', pad);
  w.Repeat('0', digitsPad);
  for (size_t i = 0; i < bodyLength; ++i) w.Put(body[i]);
  if (field.leftAlign) w.Repeat(' ', pad);
}

void PutNumber(BlockWriter& w, const Field& field, char type, std::uint64_t magnitude, bool negative) {
  char digits[24];
  size_t n = 0;
  const bool hex = type == 'x' || type == 'X';
  const char* alphabet = type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned base = hex ? 16 : 10;
  do {
    digits[n++] = alphabet[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  char body[24];
  for (size_t i = 0; i < n; ++i) body[i] = digits[n - 1 - i];
  const bool zero = n == 1 && body[0] == '0';
  const char* prefix = "";
  if (negative) prefix = "-";
  else if (hex && field.hexPrefix && !zero) prefix = type == 'X' ? "0X" : "0x";
  PutPadded(w, field, prefix, body, n, field.hasPrecision ? field.precision : 0);
}

void PutNarrowString(BlockWriter& w, const Field& field, const char* text) {
  if (text == nullptr) text = "(null)";
  size_t length = 0;
  while (text[length] != '\0' && (!field.hasPrecision || length < field.precision)) ++length;
  Field plain = field;
  plain.zeroPad = false;
  PutPadded(w, plain, "", text, length, 0);
}

// Wide text reaches an ANSI line as its Latin-1 part; other characters become '?'.
char NarrowOf(WCHAR c) { return c < 0x100 ? static_cast<char>(c) : '?'; }

void PutWideString(BlockWriter& w, const Field& field, const WCHAR* text) {
  if (text == nullptr) {
    PutNarrowString(w, field, nullptr);
    return;
  }
  size_t length = 0;
  while (text[length] != 0 && (!field.hasPrecision || length < field.precision)) ++length;
  size_t pad = field.width > length ? field.width - length : 0;
  if (!field.leftAlign) w.Repeat(' ', pad);
  for (size_t i = 0; i < length; ++i) w.Put(NarrowOf(text[i]));
  if (field.leftAlign) w.Repeat(' ', pad);
}

void PutChar(BlockWriter& w, const Field& field, char c) {
  size_t pad = field.width > 1 ? field.width - 1 : 0;
  if (!field.leftAlign) w.Repeat(' ', pad);
  w.Put(c);
  if (field.leftAlign) w.Repeat(' ', pad);
}

// One conversion; p points just past the '%'. Returns the position after it.
const char* Convert(BlockWriter& w, const char* p, va_list& args) {
  Field field;
  if (*p == '-') { field.leftAlign = true; ++p; }
  if (*p == '#') { field.hexPrefix = true; ++p; }
  if (*p == '0') { field.zeroPad = true; ++p; }
  field.width = ReadNumber(p);
  if (*p == '.') {
    ++p;
    field.hasPrecision = true;
    field.precision = ReadNumber(p);
  }
  if (*p == 'l') { field.size = Size::Long; ++p; }
  else if (*p == 'h') { field.size = Size::Short; ++p; }
  else if (*p == 'w') { field.size = Size::Wide; ++p; }
  else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') { field.size = Size::Int64; p += 3; }

  const char type = *p;
  if (type == '\0') return p;
  ++p;
  // On this platform 'l' means 32 bits, as LONG and DWORD are; only I64 takes 64.
  switch (type) {
    case 'd':
    case 'i': {
      std::int64_t v = field.size == Size::Int64 ? va_arg(args, long long) : va_arg(args, int);
      std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      PutNumber(w, field, type, magnitude, v < 0);
      break;
    }
    case 'u':
    case 'x':
    case 'X': {
      std::uint64_t v = field.size == Size::Int64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned);
      PutNumber(w, field, type, v, false);
      break;
    }
    case 'c':
      if (field.size == Size::Long || field.size == Size::Wide) PutChar(w, field, NarrowOf(static_cast<WCHAR>(va_arg(args, int))));
      else PutChar(w, field, static_cast<char>(va_arg(args, int)));
      break;
    case 'C':
      if (field.size == Size::Short) PutChar(w, field, static_cast<char>(va_arg(args, int)));
      else PutChar(w, field, NarrowOf(static_cast<WCHAR>(va_arg(args, int))));
      break;
    case 's':
      if (field.size == Size::Long || field.size == Size::Wide) PutWideString(w, field, va_arg(args, const WCHAR*));
      else PutNarrowString(w, field, va_arg(args, const char*));
      break;
    case 'S':
      if (field.size == Size::Short) PutNarrowString(w, field, va_arg(args, const char*));
      else PutWideString(w, field, va_arg(args, const WCHAR*));
      break;
    default:
      // Not a conversion this formatter knows: show the character, take no argument.
      w.Put(type);
      break;
  }
  return p;
}

}  // namespace

int FormatTraceLineV(char* out, size_t size, const char* format, va_list args) {
  BlockWriter w(out, size);
  if (out == nullptr || size == 0) return 0;
  if (format == nullptr) return w.Finish();
  va_list ap;
  va_copy(ap, args);
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      w.Put(*p++);
      continue;
    }
    ++p;
    if (*p == '%') {
      w.Put('%');
      ++p;
      continue;
    }
    p = Convert(w, p, ap);
  }
  va_end(ap);
  return w.Finish();
}

int FormatTraceLine(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = FormatTraceLineV(out, size, format, args);
  va_end(args);
  return written;
}
