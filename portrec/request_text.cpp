#include "portrec/request_text.h"

#include <cstdio>
#include <cstring>

namespace portrec {

std::string RequestName(DWORD code) {
  const PortRequest* request = FindPortRequest(code);
  if (request == nullptr) {
    char text[32];
    std::snprintf(text, sizeof text, "code 0x%08X", static_cast<unsigned>(code));
    return text;
  }
  return request->name + std::strlen("IOCTL_PORT_");
}

bool DecodeAnyWidth(const PortRequest& request, const BYTE* in, std::size_t length, PortRecord* record) {
  for (std::size_t width : {std::size_t{4}, std::size_t{8}}) {
    if (DecodePortRecord(request.layout, width, in, length, record)) return true;
  }
  return false;
}

std::string RequestText(DWORD code, const BYTE* in, std::size_t length) {
  std::string text = RequestName(code);
  const PortRequest* request = FindPortRequest(code);
  if (request == nullptr) return text;
  PortRecord record;
  if (!DecodeAnyWidth(*request, in, length, &record)) {
    return text + " (a " + std::to_string(length) + "-byte record)";
  }
  switch (request->layout) {
    case PortRecordLayout::E:
      break;
    case PortRecordLayout::EB:
      text += " " + std::to_string(record.value);
      break;
    case PortRecordLayout::EBB:
      text += " " + std::to_string(record.value) + "," + std::to_string(record.option);
      break;
    case PortRecordLayout::EBC:
    case PortRecordLayout::EBCR:
      text += " " + std::to_string(record.count);
      break;
  }
  return text;
}

std::string RequestComment(const RecordedRequest& request) {
  std::string text = RequestText(request.code, request.input.data(), request.input.size());
  if (!request.result) return text + " -> call failed";
  const PortRequest* known = FindPortRequest(request.code);
  text += " -> " + std::to_string(known != nullptr && !known->hasReply ? DWORD{1} : request.reply);
  if (request.counted) text += " (" + std::to_string(request.countWritten) + " read)";
  return text;
}

DataFlow DataFlowOf(DWORD code) {
  const PortRequest* request = FindPortRequest(code);
  return request != nullptr ? request->flow : DataFlow::None;
}

bool IsCountedRead(DWORD code) {
  const PortRequest* request = FindPortRequest(code);
  return request != nullptr && request->layout == PortRecordLayout::EBCR;
}

}  // namespace portrec
