-- Wireshark dissector for zarncap port recordings (zarncap --record FILE):
-- one packet per request the driver sent to its port device, link type
-- LINKTYPE_USER0 (147). The layout is in docs/port-recording.md.
--
--   wireshark -X lua_script:portrec/zarncap_port.lua rec.pcapng
--   tshark -X lua_script:portrec/zarncap_port.lua -r rec.pcapng -V
-- or copy it to ~/.local/lib/wireshark/plugins/.

local proto = Proto("zarncap_port", "zarncap port request")

local requests = {
  [0x001D2080] = "ATTACH", [0x001D2084] = "CLAIM", [0x001D2088] = "RELEASE", [0x001D208C] = "POLL",
  [0x001D2090] = "NEGOTIATE", [0x001D2094] = "TERMINATE", [0x001D2098] = "FRAME_BEGIN",
  [0x001D209C] = "FRAME_END", [0x001D20A0] = "REVERSE", [0x001D20A8] = "ECP_WRITE_CMD",
  [0x001D20AC] = "ECP_WRITE", [0x001D20B0] = "ECP_READ", [0x001D20B4] = "COMPAT_WRITE_CMD",
  [0x001D20B8] = "COMPAT_WRITE", [0x001D20BC] = "BYTE_READ", [0x001D20C0] = "NIBBLE_READ",
  [0x001D20C4] = "ECP_READ_FRAME", [0x001D20C8] = "ECP_READ_FRAME_VAR", [0x001D20CC] = "BYTE_READ_FRAME",
  [0x001D20D0] = "BYTE_READ_FRAME_VAR", [0x001D20D4] = "NIBBLE_READ_FRAME",
  [0x001D20D8] = "NIBBLE_READ_FRAME_VAR", [0x001D20DC] = "OUT_B", [0x001D20E0] = "OUT_A",
}
-- The fields of each request's record after the entry address: v = one byte,
-- c = a buffer address and a count (and, for "cr", the address the count goes to).
local layouts = {
  ATTACH = "v", NEGOTIATE = "v", ECP_WRITE_CMD = "v", COMPAT_WRITE_CMD = "v", OUT_A = "v", OUT_B = "v",
  FRAME_BEGIN = "vv", ECP_WRITE = "c", ECP_READ = "c", COMPAT_WRITE = "c", BYTE_READ = "c", NIBBLE_READ = "c",
  ECP_READ_FRAME = "c", BYTE_READ_FRAME = "c", NIBBLE_READ_FRAME = "c",
  ECP_READ_FRAME_VAR = "cr", BYTE_READ_FRAME_VAR = "cr", NIBBLE_READ_FRAME_VAR = "cr",
}
local flows = { [0] = "none", [1] = "to the device", [2] = "from the device" }

local f = proto.fields
f.index = ProtoField.uint32("zarncap_port.index", "Request")
f.code = ProtoField.uint32("zarncap_port.code", "Control code", base.HEX, requests)
f.name = ProtoField.string("zarncap_port.name", "Request name")
f.in_length = ProtoField.uint32("zarncap_port.in_length", "Record length")
f.out_length = ProtoField.uint32("zarncap_port.out_length", "Reply buffer length")
f.result = ProtoField.uint32("zarncap_port.result", "Call result")
f.reply = ProtoField.uint32("zarncap_port.reply", "Reply")
f.duration = ProtoField.uint32("zarncap_port.duration", "Duration (us)")
f.flags_before = ProtoField.uint16("zarncap_port.flags_before", "PortFlags before", base.HEX)
f.flags_after = ProtoField.uint16("zarncap_port.flags_after", "PortFlags after", base.HEX)
f.flow = ProtoField.uint8("zarncap_port.flow", "Data", base.DEC, flows)
f.count_written = ProtoField.uint32("zarncap_port.count_written", "Count stored")
f.entry = ProtoField.uint64("zarncap_port.entry", "Entry address", base.HEX)
f.value = ProtoField.uint8("zarncap_port.value", "Value")
f.option = ProtoField.uint8("zarncap_port.option", "Option")
f.buffer = ProtoField.uint64("zarncap_port.buffer", "Buffer address", base.HEX)
f.count = ProtoField.uint32("zarncap_port.count", "Count")
f.count_address = ProtoField.uint64("zarncap_port.count_address", "Count address", base.HEX)
f.data = ProtoField.bytes("zarncap_port.data", "Bytes moved")

function proto.dissector(buffer, pinfo, tree)
  if buffer:len() < 52 then return 0 end
  local header = buffer(2, 2):le_uint()
  local code = buffer(8, 4):le_uint()
  local in_length = buffer(12, 4):le_uint()
  local data_length = buffer(40, 4):le_uint()
  local name = requests[code] or string.format("code 0x%08X", code)
  pinfo.cols.protocol = "zarncap"
  local node = tree:add(proto, buffer(), "zarncap port request: " .. name)
  node:add_le(f.index, buffer(4, 4))
  node:add_le(f.code, buffer(8, 4))
  node:add(f.name, name)
  node:add_le(f.in_length, buffer(12, 4))
  node:add_le(f.out_length, buffer(16, 4))
  node:add_le(f.result, buffer(20, 4))
  node:add_le(f.reply, buffer(24, 4))
  node:add_le(f.duration, buffer(32, 4))
  node:add_le(f.flags_before, buffer(36, 2))
  node:add_le(f.flags_after, buffer(38, 2))
  node:add(f.flow, buffer(44, 1))
  if bit.band(buffer(45, 1):uint(), 1) ~= 0 then node:add_le(f.count_written, buffer(48, 4)) end

  -- The record: the entry address, then the layout's fields; addresses are 4
  -- or 8 bytes wide, whichever makes the record's length come out.
  local layout = layouts[name] or ""
  local fixed = ({ [""] = 0, v = 1, vv = 2, c = 4, cr = 4 })[layout] or 0
  local addresses = ({ [""] = 1, v = 1, vv = 1, c = 2, cr = 3 })[layout] or 1
  local width = (in_length - fixed) / addresses
  local text = name
  if (width == 4 or width == 8) and buffer:len() >= header + in_length then
    local at = header
    local record = node:add(buffer(at, in_length), "Record")
    record:add_le(f.entry, buffer(at, width)); at = at + width
    if layout == "v" or layout == "vv" then
      record:add(f.value, buffer(at, 1)); text = text .. " " .. buffer(at, 1):uint(); at = at + 1
    end
    if layout == "vv" then
      record:add(f.option, buffer(at, 1)); text = text .. "," .. buffer(at, 1):uint()
    end
    if layout == "c" or layout == "cr" then
      record:add_le(f.buffer, buffer(at, width)); at = at + width
      record:add_le(f.count, buffer(at, 4)); text = text .. " " .. buffer(at, 4):le_uint(); at = at + 4
    end
    if layout == "cr" then record:add_le(f.count_address, buffer(at, width)) end
  end
  if data_length > 0 and buffer:len() >= header + in_length + data_length then
    node:add(f.data, buffer(header + in_length, data_length))
  end
  -- RELEASE, OUT_A and OUT_B have no reply buffer: the call's result is their answer.
  local reply = buffer(20, 4):le_uint() == 0 and "call failed"
    or (buffer(16, 4):le_uint() == 0 and "1" or tostring(buffer(24, 4):le_uint()))
  pinfo.cols.info = text .. " -> " .. reply
  return buffer:len()
end

DissectorTable.get("wtap_encap"):add(wtap.USER0, proto)
